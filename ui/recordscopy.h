#pragma once

#include <QItemSelection>
#include <QString>

class QAbstractItemModel;

namespace zefto::ui {

// The cells of a selection as tab-separated text, as spreadsheets paste it:
// rows top to bottom, the selected columns left to right, each value as the
// grid shows it with its blanks trimmed, and with `headings` a first line of
// the columns' headings. Tabs and line ends inside a value become blanks.
QString selectionAsTsv(const QAbstractItemModel &model, const QItemSelection &selection, bool headings);

// How many rows a selection covers.
qint64 selectedRowCount(const QItemSelection &selection);

// A selection remembered as plain numbers, to survive the model being read again.
struct SelectionSpans {
    struct Span {
        int top, left, bottom, right;
    };
    QList<Span> spans;

    static SelectionSpans of(const QItemSelection &selection);
    // The same cells in `model`, cut to what it now has.
    QItemSelection in(const QAbstractItemModel &model) const;
};

} // namespace zefto::ui
