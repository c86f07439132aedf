#include "convertagainbox.h"

#include <QMessageBox>
#include <QPushButton>

namespace zefto::ui {

bool askConvertAgain(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zefto"), question, QMessageBox::NoButton, parent);
    const QPushButton *again = box.addButton(QStringLiteral("Convert again"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    // Storing a report twice doubles every owner's shares: the safe answer is the easy one.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == again;
}

} // namespace zefto::ui
