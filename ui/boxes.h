#pragma once

#include <QString>

class QMessageBox;
class QPushButton;
class QWidget;

namespace zefto::ui {

// The engine's question about a report converted before, with its buttons
// "Convert again" and "Cancel" (the default, and Escape); true converts again.
bool askConvertAgain(QWidget *parent, const QString &question);

// The one Cancel of every question (one word for it in every language),
// the box's default and its Escape; the safe answer is the easy one.
QPushButton *addCancel(QMessageBox &box);

// Widens a box whose text is short: the window manager's buttons would cut its title.
void keepTitleWhole(QMessageBox &box);

} // namespace zefto::ui
