#pragma once

#include "address.h"
#include "pgerror.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

struct pg_conn; // libpq's PGconn, kept out of every header

namespace zefto::postgres {

// The rows of one statement, each value as the server's text (a null QVariant for NULL).
using Rows = QList<QVariantList>;

// What a batch gave back: the rows of each of its statements that returns rows,
// in order; `copying` when its last statement, a COPY FROM STDIN, now waits for data.
struct Batch {
    std::vector<Rows> rows;
    bool copying = false;
};

// One session with the server through libpq, in its simple query protocol:
// one message per round trip, however many statements it carries.
class Connection {
public:
    explicit Connection(Address address) : m_address(std::move(address)) {}
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Connects; every statement waits at most `lockTimeoutMs` for another
    // session's lock. Throws 3151 naming the server, never the password.
    void open(int lockTimeoutMs);
    void close();
    bool isOpen() const { return m_conn != nullptr; }
    // Whether the session still stands (the server did not go away).
    bool alive() const;
    // The address as messages show it.
    const QString &name() const { return m_address.shown; }

    // Runs the statements and hands back the rows of the first that returns
    // rows; throws the mapped Error.
    Rows exec(const QString &sql);
    // One statement with values bound to its placeholders (?) in order, as text.
    Rows exec(const QString &sql, const QList<QVariant> &params);
    // As exec, but hands back the failure instead of throwing it.
    std::optional<Failure> tryExec(const QString &sql);
    // Hands each row of the statement's result to `each`, one at a time.
    void eachRow(const QString &sql, const std::function<void(const QVariantList &)> &each);
    // Sends several statements (';' between them) in one message, so one round
    // trip; the server stops at the first that fails. Throws the mapped Error.
    Batch batch(const QString &sql);
    // Whether the server sent a notification (LISTEN) since the last look,
    // read from what has arrived without a round trip or a wait.
    bool notified();
    // As batch, but hands back the failure instead of throwing it.
    std::optional<Failure> tryBatch(const QString &sql, Batch *result,
                                    const std::function<void(const QVariantList &)> *each = nullptr);
    Error error(const Failure &f) const { return serverError(f, name()); }
    // A text as an SQL literal that reads back exactly, whatever the server's settings.
    static QString literal(const QString &text);
    // libpq's session: valid while open, and only between statements.
    pg_conn *handle() const { return m_conn; }

private:
    QString conninfo(int lockTimeoutMs) const;
    QString refusal(pg_conn *failed) const;

    Address m_address;
    pg_conn *m_conn = nullptr;
};

} // namespace zefto::postgres
