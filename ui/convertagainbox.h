#pragma once

#include <QString>

class QWidget;

namespace zefto::ui {

// The engine's question about a report converted before, with its buttons
// "Convert again" and "Cancel" (the default, and Escape); true converts again.
bool askConvertAgain(QWidget *parent, const QString &question);

} // namespace zefto::ui
