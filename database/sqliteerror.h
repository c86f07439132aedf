#pragma once

#include "error.h"

#include <QSqlError>

namespace zefto {

// Turns what SQLite reported into our numbered error; every description
// that concerns the file names its full path.
Error sqliteError(const QSqlError &e, const QString &path);
// The same from SQLite's own (extended) result code and message, and the
// errno of the system call that failed, when SQLite knows one.
Error sqliteError(int code, const QString &message, const QString &path, int systemErrno = 0);

} // namespace zefto
