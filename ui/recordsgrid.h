#pragma once

#include <QTableView>
#include <functional>

class QAction;

namespace zefto::ui {

// The records as a spreadsheet-like grid: Ctrl+C copies the selection as
// tab-separated text, Ctrl+A selects every row, and a right-click menu
// offers copying with headings, exporting the selection and showing the
// conversion a record came from. What those do with the records is the
// window's: the grid only asks.
class RecordsGrid : public QTableView {
    Q_OBJECT

public:
    // Rows past which a copy asks first: reading them all takes a while.
    static constexpr qint64 askAboveRows = 100000;

    explicit RecordsGrid(QWidget *parent = nullptr);

    // Copies the selection to the clipboard (with the headings first when asked).
    void copySelection(bool headings);

    // Asked before copying more than askAboveRows rows; tests answer instead of a box.
    std::function<bool(QWidget *parent, qint64 rows)> confirmLargeCopy;

    QAction *copyAction;
    QAction *copyWithHeadingsAction;
    QAction *exportSelectionAction;
    QAction *showConversionAction;

signals:
    void exportSelectionRequested();
    // The conversion of the record in `row` was asked for.
    void showConversionRequested(int row);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
};

} // namespace zefto::ui
