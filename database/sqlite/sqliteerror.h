#pragma once

#include "error.h"

namespace zefto::sqlite {

// Turns SQLite's (extended) result code and message, and the errno of the
// system call that failed when SQLite knows one, into our numbered error;
// every description that concerns the file names its full path.
Error sqliteError(int code, const QString &message, const QString &path, int systemErrno = 0);
// A read of the file that failed or came back short: the file itself may be whole.
Error readFailed(const QString &path, const QString &message);

} // namespace zefto::sqlite
