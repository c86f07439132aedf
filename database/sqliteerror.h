#pragma once

#include "error.h"

#include <QSqlError>

namespace zefto {

// Turns what SQLite reported into our numbered error; every description
// that concerns the file names its full path.
Error sqliteError(const QSqlError &e, const QString &path);

} // namespace zefto
