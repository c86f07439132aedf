#pragma once

#include "error.h"

#include <QSqlError>

namespace zefto {

// Turns what SQLite reported into our numbered error; every description
// that concerns the file names its full path.
Error sqliteError(const QSqlError &e, const QString &path);
// The same from SQLite's own result code and message.
Error sqliteError(int code, const QString &message, const QString &path);

} // namespace zefto
