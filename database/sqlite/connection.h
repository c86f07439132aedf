#pragma once

#include "error.h"
#include "statement.h"

#include <QString>
#include <sqlite3.h>

namespace zefto::sqlite {

// One open SQLite database: owns the handle, runs and prepares statements,
// and turns every failure into our numbered Error naming the file.
class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens `path` with sqlite3_open_v2's `flags`; `busyTimeoutMs` is how long
    // a statement waits for another program's lock. Throws Error.
    void open(const QString &path, int flags, int busyTimeoutMs);
    // Takes back an open transaction and closes; harmless when closed.
    void close() noexcept;
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }
    const QString &path() const { return m_path; }
    int busyTimeoutMs() const { return m_busyTimeoutMs; }

    // The Error for a result code, with the extended code and errno SQLite kept.
    Error error(int code) const;
    void exec(const QString &sql);
    // SQLITE_BUSY comes back as a result, other failures throw.
    int tryExec(const QString &sql);
    Statement prepare(const QString &sql);
    // Steps a statement that must yield one row and gives its first column.
    qint64 scalar(const QString &sql);
    // Whether a transaction is open: SQLite ends one by itself after some failures.
    bool inTransaction() const { return m_db && sqlite3_get_autocommit(m_db) == 0; }

private:
    sqlite3 *m_db = nullptr;
    QString m_path;
    int m_busyTimeoutMs = 0;
};

// Sets the busy timeout for the life of a scope and puts the connection's
// own back, however the scope ends.
class BusyTimeout {
public:
    BusyTimeout(Connection &c, int ms) : m_connection(c) { sqlite3_busy_timeout(c.handle(), ms); }
    ~BusyTimeout() { sqlite3_busy_timeout(m_connection.handle(), m_connection.busyTimeoutMs()); }
    BusyTimeout(const BusyTimeout &) = delete;
    BusyTimeout &operator=(const BusyTimeout &) = delete;

private:
    Connection &m_connection;
};

// A transaction (or a savepoint inside one) that is taken back when its
// owner lets go of it without commit(): nothing half done survives a throw.
class Transaction {
public:
    enum class Kind { Deferred, Immediate, Savepoint };
    // Begins one; throws Error (SQLITE_BUSY too) having begun nothing.
    Transaction(Connection &c, Kind kind);
    // Takes charge of the transaction the connection has open (begun by a wait for the lock).
    static Transaction adopt(Connection &c) { return Transaction(c); }
    ~Transaction() { rollback(); }
    Transaction(Transaction &&o) noexcept;
    Transaction &operator=(Transaction &&) = delete;
    Transaction(const Transaction &) = delete;

    // Makes it permanent; on failure it is taken back and the Error thrown.
    void commit();
    // Takes it back now; nothing when SQLite already did, or after commit.
    void rollback() noexcept;
    // Whether it still stands: not committed, not taken back by anyone.
    bool open() const { return m_connection && m_connection->inTransaction(); }

private:
    explicit Transaction(Connection &c) : m_connection(&c) {}

    Connection *m_connection = nullptr; // null once committed or taken back
    Kind m_kind = Kind::Immediate;
};

} // namespace zefto::sqlite
