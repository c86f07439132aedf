#pragma once

#include <QString>

namespace zefto::ui {

// A report line as the engine reads it (one Windows-1254 character per
// byte) shown as it was printed: its bytes read as DOS Turkish (CP857), so
// names and the table's rules look as on paper. The line as read when the
// system cannot decode CP857.
QString asPrinted(const QString &line);

} // namespace zefto::ui
