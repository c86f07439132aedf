#include "checkview.h"

#include "error.h"
#include "recordtablemodel.h"

#include <QApplication>
#include <QItemSelection>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zefto::ui {
namespace {

// The first row whose key is at least `key`: rows stand in key order, so a
// search reads a few windows of them, never all.
int firstRowFrom(const RecordTableModel &model, qint64 key)
{
    int low = 0, high = model.rowCount();
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (model.keyAt(mid) < key)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

} // namespace

void selectKeys(QTableView &grid, const RecordTableModel &model, const std::vector<qint64> &keys)
{
    QItemSelection selection;
    int first = -1;
    for (const qint64 key : keys) {
        const int row = firstRowFrom(model, key);
        if (row >= model.rowCount() || model.keyAt(row) != key)
            continue; // not among the rows shown (filtered out, or gone)
        selection.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
        if (first < 0)
            first = row;
    }
    grid.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first >= 0)
        grid.scrollTo(model.index(first, 0));
}

CheckView::CheckView(Database &db, RecordTableModel &model, QTableView &grid, QWidget *parent)
    : QDialog(parent), m_db(db), m_model(model), m_grid(grid)
{
    setWindowTitle(tr("Check"));
    setAccessibleName(windowTitle());
    findings = new QListWidget;
    findings->setAccessibleName(tr("Findings"));
    findings->setToolTip(tr("Choose a line to select its records."));
    summary = new QLabel;
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *close = new QPushButton(tr("Close"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(findings, 1);
    layout->addWidget(summary);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(760, 420);
    connect(findings, &QListWidget::currentRowChanged, this, &CheckView::choose);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    check();
}

CheckView *CheckView::openOn(QWidget *parent, Database &db, RecordTableModel &model, QTableView &grid)
{
    auto *view = new CheckView(db, model, grid, parent);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    return view;
}

void CheckView::check()
{
    const records::RecordPager *pager = m_model.pager();
    if (!pager)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        const std::optional<QString> filter = pager->filter().isEmpty() ? std::nullopt : std::optional(pager->filter());
        const records::ShareCheck result =
            records::checkShares(m_db, pager->keys(), filter, records::allRules, [&](const records::ShareFinding &f) {
                if (m_findings.size() < size_t(maxListed))
                    m_findings.push_back(f);
            });
        for (const records::ShareFinding &f : m_findings)
            findings->addItem(tr("Rule %1").arg(f.rule) + QStringLiteral(": ") + f.text);
        QStringList lines;
        for (int rule = 1; rule <= 4; ++rule)
            lines << records::ruleSummary(rule, result);
        if (!result.anything())
            lines.prepend(tr("Everything adds up."));
        summary->setText(lines.join(u'\n'));
    } catch (const Error &e) {
        summary->setText(e.description());
    }
    QApplication::restoreOverrideCursor();
}

void CheckView::choose(int i)
{
    if (i < 0 || size_t(i) >= m_findings.size())
        return;
    try {
        selectKeys(m_grid, m_model, records::findingKeys(m_db, m_findings[size_t(i)]));
    } catch (const Error &e) {
        summary->setText(e.description());
    }
}

} // namespace zefto::ui
