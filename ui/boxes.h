#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace zefto::ui {

// The engine's question about a report converted before, with its buttons
// "Convert again" and "Cancel" (the default, and Escape); true converts again.
bool askConvertAgain(QWidget *parent, const QString &question);

// Widens a box whose text is short: the window manager's buttons would cut its title.
void keepTitleWhole(QMessageBox &box);

} // namespace zefto::ui
