#pragma once

#include <QString>
#include <optional>

namespace zefto::location {

// The database every front end uses unless told otherwise, in the current directory.
inline constexpr auto defaultFileName = "ovrek1.mdb";
// Names the database for the window and the command line; --database wins over it.
inline constexpr auto environmentVariable = "ZEFTO_DATABASE";

// The database the user chose: the option's value when given, else the
// environment variable when set and not empty, else the default file.
QString chosen(const std::optional<QString> &option);

// Whether a name is a server address (scheme://...) rather than a file path.
bool isServerAddress(const QString &name);

// The name as messages may show it: an address loses its password.
QString shown(const QString &name);

// The name made independent of the current directory: a file path becomes
// absolute now; a PostgreSQL address stays as it is. Throws Error (3051) for
// a name Zefto cannot use (another server, a malformed address).
QString resolved(const QString &name);

} // namespace zefto::location
