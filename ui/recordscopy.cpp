#include "recordscopy.h"

#include <QAbstractItemModel>
#include <algorithm>
#include <set>

namespace zefto::ui {
namespace {

QString cell(const QVariant &v)
{
    QString text = v.toString().trimmed();
    // A tab or line end inside a value would split it into two cells or two rows.
    text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

} // namespace

qint64 selectedRowCount(const QItemSelection &selection)
{
    std::set<std::pair<int, int>> seen; // ranges may overlap in rows when columns were picked apart
    qint64 rows = 0;
    for (const QItemSelectionRange &r : selection)
        if (seen.insert({r.top(), r.bottom()}).second)
            rows += r.bottom() - r.top() + 1;
    return rows;
}

QString selectionAsTsv(const QAbstractItemModel &model, const QItemSelection &selection, bool headings)
{
    // Rows in order, each with the columns selected in it; ranges are few even for a million rows.
    std::set<int> columns;
    std::vector<std::pair<int, int>> spans;
    for (const QItemSelectionRange &r : selection) {
        for (int c = r.left(); c <= r.right(); ++c)
            columns.insert(c);
        spans.emplace_back(r.top(), r.bottom());
    }
    std::sort(spans.begin(), spans.end());
    QString text;
    const auto line = [&](const auto &value) {
        QStringList cells;
        for (int c : columns)
            cells << value(c);
        text += cells.join(u'\t') + u'\n';
    };
    if (headings)
        line([&](int c) { return cell(model.headerData(c, Qt::Horizontal, Qt::DisplayRole)); });
    int done = -1; // the last row written
    for (const auto &[top, bottom] : spans)
        for (int r = std::max(top, done + 1); r <= bottom; ++r, done = r - 1)
            line([&](int c) {
                return selection.contains(model.index(r, c)) ? cell(model.data(model.index(r, c), Qt::DisplayRole))
                                                             : QString();
            });
    return text;
}

SelectionSpans SelectionSpans::of(const QItemSelection &selection)
{
    SelectionSpans s;
    for (const QItemSelectionRange &r : selection)
        s.spans.append({r.top(), r.left(), r.bottom(), r.right()});
    return s;
}

QItemSelection SelectionSpans::in(const QAbstractItemModel &model) const
{
    QItemSelection selection;
    const int rows = model.rowCount(), columns = model.columnCount();
    for (const Span &s : spans) {
        if (s.top >= rows || s.left >= columns)
            continue;
        selection.select(model.index(s.top, s.left),
                         model.index(std::min(s.bottom, rows - 1), std::min(s.right, columns - 1)));
    }
    return selection;
}

} // namespace zefto::ui
