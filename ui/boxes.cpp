#include "boxes.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace zefto::ui {

bool askConvertAgain(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zefto"), question, QMessageBox::NoButton, parent);
    const QPushButton *again =
        box.addButton(QCoreApplication::translate("zefto::ui::boxes", "Convert again"), QMessageBox::AcceptRole);
    QPushButton *cancel = addCancel(box);
    // Storing a report twice doubles every owner's shares: the safe answer is the easy one.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    keepTitleWhole(box);
    box.exec();
    return box.clickedButton() == again;
}

QPushButton *addCancel(QMessageBox &box)
{
    QPushButton *cancel =
        box.addButton(QCoreApplication::translate("zefto::ui::boxes", "Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    return cancel;
}

void keepTitleWhole(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    // A box as narrow as "Converted" had its title cut to "Z…o".
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) * 3 + 240;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace zefto::ui
