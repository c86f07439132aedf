#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace zefto::postgres {

// A PostgreSQL address in libpq's URI form,
// postgresql://[user[:password]@][host][:port]/dbname[?param=value&...],
// taken apart because the driver wants host, port, user and password separately.
struct Address {
    QString user;                               // empty: libpq's default (PGUSER, then the login name)
    QString password;                           // empty: libpq looks in PGPASSWORD and ~/.pgpass
    QString host;                               // a name, an address, or a socket folder (from ?host=/dir)
    int port = -1;                              // -1: libpq's default (PGPORT, then 5432)
    QString dbname;                             // empty: libpq's default (the user name)
    QList<std::pair<QString, QString>> options; // other parameters (sslmode, ...), in order
    QString shown;                              // the URI as messages show it: without its password

    // Takes the URI apart, or says why it cannot in `problem`; no reason
    // quotes a character that may belong to the password.
    static std::optional<Address> parse(const QString &uri, QString *problem);
};

// Any server address (valid or not, of any scheme) without every character
// that may belong to a password: the user part's and any password parameter's.
QString withoutPassword(const QString &address);

// Whether the name starts with a PostgreSQL scheme (postgresql:// or postgres://).
bool isPostgresAddress(const QString &name);

} // namespace zefto::postgres
