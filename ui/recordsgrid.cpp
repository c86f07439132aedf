#include "recordsgrid.h"

#include "boxes.h"
#include "recordscopy.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace zefto::ui {

RecordsGrid::RecordsGrid(QWidget *parent) : QTableView(parent)
{
    confirmLargeCopy = [](QWidget *w, qint64 rows) {
        QMessageBox ask(QMessageBox::Question, tr("Copy records"),
                        tr("Copy %1 records? Reading them all takes a while.").arg(QLocale().toString(rows)),
                        QMessageBox::NoButton, w);
        const QPushButton *copy = ask.addButton(tr("Copy"), QMessageBox::AcceptRole);
        addCancel(ask);
        ask.exec();
        return ask.clickedButton() == copy;
    };
    // A heading click sorts (the store sorts: a million records are no burden); a third click
    // goes back to the order the records were stored in.
    horizontalHeader()->setSortIndicatorClearable(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    // A new order starts at its first rows: those the store hands over first.
    connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &QTableView::scrollToTop);
    copyAction = new QAction(tr("&Copy"), this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    copyWithHeadingsAction = new QAction(tr("Copy with &headings"), this);
    exportSelectionAction = new QAction(tr("&Export selection…"), this);
    showConversionAction = new QAction(tr("Show &conversion"), this);
    addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, [this] { copySelection(false); });
    connect(copyWithHeadingsAction, &QAction::triggered, this, [this] { copySelection(true); });
    connect(exportSelectionAction, &QAction::triggered, this, &RecordsGrid::exportSelectionRequested);
    connect(showConversionAction, &QAction::triggered, this, [this] {
        if (currentIndex().isValid())
            emit showConversionRequested(currentIndex().row());
    });
}

void RecordsGrid::copySelection(bool headings)
{
    if (!model() || !selectionModel() || !selectionModel()->hasSelection())
        return;
    const QItemSelection selection = selectionModel()->selection();
    const qint64 rows = selectedRowCount(selection);
    if (rows > askAboveRows && !confirmLargeCopy(this, rows))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::clipboard()->setText(selectionAsTsv(*model(), selection, headings));
    QApplication::restoreOverrideCursor();
}

void RecordsGrid::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex at = indexAt(event->pos());
    // The row under the pointer joins the selection, as in a spreadsheet.
    if (at.isValid() && !selectionModel()->isSelected(at))
        setCurrentIndex(at);
    const bool any = selectionModel() && selectionModel()->hasSelection();
    copyAction->setEnabled(any);
    copyWithHeadingsAction->setEnabled(any);
    exportSelectionAction->setEnabled(any);
    showConversionAction->setEnabled(currentIndex().isValid());
    QMenu menu(this);
    menu.addAction(copyAction);
    menu.addAction(copyWithHeadingsAction);
    menu.addSeparator();
    menu.addAction(exportSelectionAction);
    menu.addAction(showConversionAction);
    menu.exec(event->globalPos());
}

} // namespace zefto::ui
