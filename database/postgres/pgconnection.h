#pragma once

#include "address.h"
#include "pgerror.h"

#include <QSqlQuery>
#include <QString>

struct pg_conn; // libpq's PGconn, kept out of every header

namespace zefto::postgres {

// One session with the server through QtSql's QPSQL driver, which owns it;
// its libpq handle is lent for what the driver cannot do (COPY).
class Connection {
public:
    explicit Connection(Address address);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Connects; every statement waits at most `lockTimeoutMs` for another
    // session's lock. Throws 3151 naming the server, never the password.
    void open(int lockTimeoutMs);
    void close();
    bool isOpen() const;
    // Whether the session still stands (the server did not go away).
    bool alive() const;
    // The address as messages show it.
    const QString &name() const { return m_address.shown; }

    // Runs one statement and hands back the finished query for reading;
    // throws the mapped Error.
    QSqlQuery exec(const QString &sql);
    // As exec, with values bound to the statement's placeholders (?) in order.
    QSqlQuery exec(const QString &sql, const QList<QVariant> &params);
    // As exec, but hands back the failure instead of throwing it.
    std::optional<Failure> tryExec(const QString &sql, QSqlQuery *result = nullptr);
    Error error(const Failure &f) const { return serverError(f, name()); }
    // The driver's handle: valid while open, and only between statements.
    pg_conn *handle() const;

private:
    Failure failureOf(const QSqlQuery &q) const;

    Address m_address;
    QString m_connectionName; // the QSqlDatabase registration, unique per Connection
};

} // namespace zefto::postgres
