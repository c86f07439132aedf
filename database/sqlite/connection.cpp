#include "connection.h"

#include "sqliteerror.h"

#include <utility>

namespace zefto::sqlite {

void Connection::open(const QString &path, int flags, int busyTimeoutMs)
{
    close();
    m_path = path;
    m_busyTimeoutMs = busyTimeoutMs;
    // One thread uses a connection: without its mutex every bind and step is cheaper.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const Error e = m_db ? error(rc) : sqliteError(rc, QString::fromUtf8(sqlite3_errstr(rc)), path);
        close();
        throw e;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
}

void Connection::close() noexcept
{
    if (!m_db)
        return;
    if (inTransaction())
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    // Statements still prepared would keep the handle alive: v2 closes when the last one goes.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

namespace {

// Whether a fresh reading of the whole file finds it sound: then a "malformed"
// a moment ago came from a read that failed, not from the file.
bool readsWhole(const QString &path)
{
    sqlite3 *db = nullptr;
    bool whole = false;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *q = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &q, nullptr) == SQLITE_OK
            && sqlite3_step(q) == SQLITE_ROW)
            whole = qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(q, 0)), "ok") == 0;
        sqlite3_finalize(q);
    }
    sqlite3_close_v2(db);
    return whole;
}

} // namespace

Error Connection::error(int code) const
{
    // The extended code and errno tell a full disk from other I/O failures.
    const int extended = sqlite3_extended_errcode(m_db);
    if ((extended & 0xff) == (code & 0xff))
        code = extended;
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (((code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB) && m_path != QLatin1String(":memory:")
        && readsWhole(m_path))
        return readFailed(m_path, message);
    return sqliteError(code, message, m_path, sqlite3_system_errno(m_db));
}

void Connection::exec(const QString &sql)
{
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw error(rc);
}

int Connection::tryExec(const QString &sql)
{
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && (rc & 0xff) != SQLITE_BUSY)
        throw error(rc);
    return rc == SQLITE_OK ? SQLITE_OK : SQLITE_BUSY;
}

Statement Connection::prepare(const QString &sql)
{
    int rc = SQLITE_OK;
    Statement s(m_db, sql, &rc);
    if (rc != SQLITE_OK)
        throw error(rc);
    return s;
}

qint64 Connection::scalar(const QString &sql)
{
    Statement q = prepare(sql);
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW)
        throw error(rc);
    return sqlite3_column_int64(q.get(), 0);
}

Transaction::Transaction(Connection &c, Kind kind) : m_kind(kind)
{
    c.exec(kind == Kind::Deferred    ? QStringLiteral("BEGIN")
           : kind == Kind::Immediate ? QStringLiteral("BEGIN IMMEDIATE")
                                     : QStringLiteral("SAVEPOINT guard"));
    m_connection = &c;
}

Transaction::Transaction(Transaction &&o) noexcept
    : m_connection(std::exchange(o.m_connection, nullptr)), m_kind(o.m_kind)
{}

void Transaction::commit()
{
    Connection *c = std::exchange(m_connection, nullptr);
    if (!c)
        return;
    try {
        c->exec(m_kind == Kind::Savepoint ? QStringLiteral("RELEASE guard") : QStringLiteral("COMMIT"));
    } catch (...) {
        m_connection = c;
        rollback();
        throw;
    }
}

void Transaction::rollback() noexcept
{
    Connection *c = std::exchange(m_connection, nullptr);
    if (!c || !c->inTransaction())
        return;
    sqlite3_exec(c->handle(), m_kind == Kind::Savepoint ? "ROLLBACK TO guard; RELEASE guard" : "ROLLBACK", nullptr,
                 nullptr, nullptr);
}

} // namespace zefto::sqlite
