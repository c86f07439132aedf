#include "database.h"

#include "connection.h"
#include "definition.h"
#include "error.h"
#include "schema.h"
#include "sqliteerror.h"

#include <QAtomicInteger>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <optional>
#include <sqlite3.h>

namespace zefto {
namespace {

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.constData());
    return nullptr;
}

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("zefto-%1").arg(counter.fetchAndAddRelaxed(1));
}

// How often a run that waits for the write lock tries again (and lets a window paint).
constexpr int lockRetryMs = 20;

// Refusals that need no connection: what the path names and what we may do there.
void checkPath(const QString &path, Database::Missing missing)
{
    const QFileInfo fi(path);
    const QFileInfo folder(fi.absolutePath());
    if (fi.isDir())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': it is a directory.").arg(path));
    if (!fi.exists()) {
        if (missing == Database::Missing::Refuse)
            throw Error(err::DatabaseGone,
                        QStringLiteral("The database '%1' no longer exists; nothing was converted.").arg(path));
        if (!folder.isDir() || !folder.isWritable())
            throw Error(err::CannotOpen,
                        QStringLiteral("Cannot create the database '%1': the folder does not exist or is not writable.")
                            .arg(path));
        return;
    }
    if (!fi.isFile())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': it is not a regular file.").arg(path));
    if (!fi.isReadable())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': permission denied.").arg(path));
    if (!fi.isWritable())
        throw Error(err::ReadOnly, QStringLiteral("Cannot update. The database '%1' is read-only.").arg(path));
    if (!folder.isWritable())
        throw Error(err::ReadOnly, QStringLiteral("Cannot update the database '%1': its folder '%2' is not writable, and "
                                                  "every change needs a journal file beside the database.")
                                       .arg(path, folder.absoluteFilePath()));
}

} // namespace

sqlite3_stmt *Connection::prepare(const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare16_v3(handle, sql.utf16(), int(sql.size() * 2), SQLITE_PREPARE_PERSISTENT, &stmt,
                                        nullptr);
    if (rc != SQLITE_OK)
        throw error(rc);
    return stmt;
}

Error Connection::error(int code) const
{
    // The extended code and errno tell a full disk from other I/O failures.
    const int extended = sqlite3_extended_errcode(handle);
    if ((extended & 0xff) == (code & 0xff))
        code = extended;
    return sqliteError(code, QString::fromUtf8(sqlite3_errmsg(handle)), path, sqlite3_system_errno(handle));
}

int Connection::tryExec(const QString &sql)
{
    const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        throw error(rc);
    return rc;
}

void Connection::exec(const QString &sql)
{
    const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw error(rc);
}

// Commit strategy. A conversion run is one transaction: Database::beginRun
// takes the write lock (BEGIN IMMEDIATE) before the first read-back and
// holds it to the run's end, so a run's records are contiguous, a read-back
// sees only this run's records or older ones, and other programs see the
// table as before or after a run. The journal is SQLite's rollback journal
// with synchronous=FULL: outside a run the file alone holds every committed
// record, a killed run leaves the table as it was, and it works on network
// shares. Records added outside a run (tests, tools) go into a transaction
// of their own, committed when their recordset or the database closes.
void Connection::begin()
{
    if (sqlite3_get_autocommit(handle) != 0)
        exec(QStringLiteral("BEGIN"));
}

void Connection::commit()
{
    if (inRun)
        return; // the run commits its records as one
    if (sqlite3_get_autocommit(handle) != 0) {
        pending = 0;
        return;
    }
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        noteFailure();
        throw;
    }
    pending = 0;
}

void Connection::noteFailure()
{
    if (sqlite3_get_autocommit(handle) != 0) {
        stored -= pending;
        pending = 0;
        inRun = false; // SQLite rolled the whole transaction back
        runFirstKey = runLastKey = 0;
    }
}

void Connection::finalize()
{
    for (sqlite3_stmt *s : std::as_const(inserts))
        sqlite3_finalize(s);
    inserts.clear();
    sqlite3_finalize(lastRow);
    lastRow = nullptr;
}

Database::~Database()
{
    try {
        close();
    } catch (const Error &) {
        // Nothing can be reported from a destructor; SQLite keeps the file whole.
    }
}

void Database::open(const QString &name, Missing missing)
{
    close();
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(name));
    checkPath(path, missing);

    auto conn = std::make_shared<Connection>();
    conn->name = nextConnectionName();
    conn->path = path;
    conn->busyTimeoutMs = m_busyTimeoutMs;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn->name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
        if (!db.open()) {
            const Error e = sqliteError(db.lastError(), path);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(conn->name);
            throw e;
        }
    }
    conn->open = true;
    conn->handle = handleOf(conn->db());
    m_conn = conn;
    // Never delete what we opened on failure: another program may be using the file by now.
    try {
        if (!conn->handle)
            throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': no SQLite handle.").arg(path));
        const std::optional<FileIdentity> id = FileIdentity::of(path);
        if (!id)
            throw Error(err::DatabaseGone, QStringLiteral("The database '%1' was removed while it was opened.").arg(path));
        conn->identity = *id;
        configure(QFileInfo(path).size() == 0);
        createTableIfMissing(false);
        if (!conn->tablePending) {
            definition::checkFields(*conn);
            conn->probePending = !definition::probeZeroLengthRefusal(*conn, false);
        }
    } catch (const Error &) {
        close();
        throw;
    }
}

void Database::configure(bool empty)
{
    Connection &c = *m_conn;
    // Report text is 16-bit already; stored as such it is bound without conversion.
    // The encoding can only be chosen before the file's first write.
    if (empty)
        c.exec(QStringLiteral("PRAGMA encoding='UTF-16le'"));
    // A file left in write-ahead mode by an older version is switched back
    // unless another program has it open; that one will switch it later.
    c.tryExec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    c.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // Appending touches only the rightmost pages: 1 MiB of cache keeps memory flat with report size.
    c.exec(QStringLiteral("PRAGMA cache_size=-1024"));
    if (m_maxPageCount > 0)
        c.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(m_maxPageCount));
}

// A database with nothing in it is a new file, or one whose creation was cut
// short: it gets its table. When another program holds the write lock (it is
// likely creating the same table), the run does it under its own lock.
void Database::createTableIfMissing(bool wait)
{
    Connection &c = *m_conn;
    QSqlQuery objects(c.db());
    if (!objects.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !objects.next())
        throw sqliteError(objects.lastError(), c.path);
    const bool empty = objects.value(0).toInt() == 0;
    objects.finish();
    c.tablePending = false;
    if (!empty)
        return;
    if (!wait)
        sqlite3_busy_timeout(c.handle, 0);
    int rc = SQLITE_OK;
    try {
        rc = c.tryExec(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const Error &) {
        sqlite3_busy_timeout(c.handle, c.busyTimeoutMs);
        throw;
    }
    sqlite3_busy_timeout(c.handle, c.busyTimeoutMs);
    if (rc == SQLITE_BUSY) {
        c.tablePending = true;
        return;
    }
    try {
        c.exec(schema::createStatement());
        c.exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        c.tryExec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

void Database::close()
{
    if (!m_conn)
        return;
    std::shared_ptr<Connection> conn = std::move(m_conn);
    m_conn.reset();
    std::optional<Error> failure;
    if (conn->open) {
        try {
            if (conn->inRun) {
                // A run not committed by its end is not kept: runs are whole or absent.
                sqlite3_exec(conn->handle, "ROLLBACK", nullptr, nullptr, nullptr);
                conn->stored -= conn->pending;
                conn->pending = 0;
                conn->inRun = false;
            }
            conn->commit();
        } catch (const Error &e) {
            failure = e;
        }
    }
    conn->open = false;
    conn->finalize();
    conn->handle = nullptr;
    QSqlDatabase::removeDatabase(conn->name);
    if (failure)
        throw *failure;
}

bool Database::isOpen() const
{
    return m_conn && m_conn->open;
}

QString Database::path() const
{
    return m_conn ? m_conn->path : QString();
}

Recordset Database::openRecordset(const QString &table)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (table != QLatin1String(schema::tableName))
        throw Error(err::TableNotFound, QStringLiteral("The database '%1' has no table '%2'.").arg(m_conn->path, table));
    return Recordset(m_conn);
}

void Database::checkStillNamed(qint64 records) const
{
    const Connection &c = *m_conn;
    const std::optional<FileIdentity> now = FileIdentity::of(c.path);
    if (now && *now == c.identity)
        return;
    if (records < 0)
        throw Error(err::DatabaseGone,
                    now ? QStringLiteral("The database '%1' was replaced by another file since it was opened; "
                                         "nothing was converted.")
                              .arg(c.path)
                        : QStringLiteral("The database '%1' no longer exists; nothing was converted.").arg(c.path));
    throw Error(err::DatabaseGone,
                QStringLiteral("The database '%1' was removed or replaced during the conversion; its %2 records are "
                               "not in it.")
                    .arg(c.path)
                    .arg(records));
}

void Database::beginRun(const std::function<void(bool first)> &whileWaiting)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    Connection &c = *m_conn;
    if (c.inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is already in progress.").arg(c.path));
    checkStillNamed(-1);
    c.commit();

    // Waiting in short steps lets the caller paint, report and give up.
    sqlite3_busy_timeout(c.handle, 0);
    QElapsedTimer waited;
    waited.start();
    for (bool first = true;; first = false) {
        int rc = SQLITE_OK;
        try {
            rc = c.tryExec(QStringLiteral("BEGIN IMMEDIATE"));
            if (rc == SQLITE_BUSY && waited.elapsed() >= m_lockWaitMs)
                throw Error(err::FileInUse,
                            QStringLiteral("The database '%1' is in use by another program, which held its write "
                                           "lock for %2 s; nothing was stored.")
                                .arg(c.path)
                                .arg(m_lockWaitMs / 1000.0));
            if (rc == SQLITE_BUSY)
                whileWaiting(first);
        } catch (...) {
            sqlite3_busy_timeout(c.handle, c.busyTimeoutMs);
            throw;
        }
        if (rc == SQLITE_OK)
            break;
        QThread::msleep(lockRetryMs);
    }
    sqlite3_busy_timeout(c.handle, c.busyTimeoutMs);
    c.inRun = true;
    c.pending = 0;
    c.runFirstKey = c.runLastKey = 0;
    try {
        if (c.tablePending) {
            c.exec(schema::createStatement());
            c.tablePending = false;
            definition::checkFields(c);
        }
        if (c.probePending) {
            definition::probeZeroLengthRefusal(c, true);
            c.probePending = false;
        }
        // The file may have been replaced while we waited for its lock.
        checkStillNamed(-1);
    } catch (...) {
        rollbackRun();
        throw;
    }
}

void Database::commitRun()
{
    if (!isOpen() || !m_conn->inRun)
        return;
    Connection &c = *m_conn;
    try {
        checkStillNamed(c.pending);
        c.exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        rollbackRun();
        throw;
    }
    c.inRun = false;
    c.pending = 0;
}

void Database::rollbackRun() noexcept
{
    if (!isOpen() || !m_conn->inRun)
        return;
    Connection &c = *m_conn;
    if (sqlite3_get_autocommit(c.handle) == 0)
        sqlite3_exec(c.handle, "ROLLBACK", nullptr, nullptr, nullptr);
    c.stored -= c.pending;
    c.pending = 0;
    c.inRun = false;
    c.runFirstKey = c.runLastKey = 0;
}

bool Database::stillNamesItsFile() const
{
    if (!isOpen())
        return false;
    const std::optional<FileIdentity> now = FileIdentity::of(m_conn->path);
    return now && *now == m_conn->identity;
}

bool Database::inRun() const
{
    return isOpen() && m_conn->inRun;
}

void Database::commit()
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    m_conn->commit();
}

std::pair<qint64, qint64> Database::runKeys() const
{
    return m_conn ? std::pair(m_conn->runFirstKey, m_conn->runLastKey) : std::pair<qint64, qint64>(0, 0);
}

qint64 Database::recordsStored() const
{
    return m_conn ? m_conn->stored : 0;
}

} // namespace zefto
