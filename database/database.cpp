#include "database.h"

#include "connection.h"
#include "error.h"
#include "schema.h"
#include "sqliteerror.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
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
    return sqliteError(code, QString::fromUtf8(sqlite3_errmsg(handle)), path);
}

void Connection::exec(const QString &sql)
{
    const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw error(rc);
}

// Commit strategy. Records are inserted inside one transaction that stays
// open until the recordset closes (the page converter closes it after each
// page), the database closes, or the caller commits at the end of a run.
// - Recordsets share this connection, so a record is the last record of
//   every recordset opened after its Update, committed or not.
// - The journal is a write-ahead log with synchronous=NORMAL: a commit is
//   atomic, and a killed process leaves the file consistent, losing only
//   the transaction in progress, that is at most the page being converted.
// - A failure leaves the transaction open with the records stored before
//   it; whoever ends the run commits them (Recordset::close, Database::close).
// One commit per page instead of per record makes storing a record cost
// microseconds instead of a file sync each.
void Connection::begin()
{
    if (sqlite3_get_autocommit(handle) != 0)
        exec(QStringLiteral("BEGIN"));
}

void Connection::commit()
{
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
    if (sqlite3_get_autocommit(handle) != 0 && pending > 0) {
        stored -= pending;
        pending = 0;
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

void Database::open(const QString &name)
{
    close();
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(name));
    const QFileInfo fi(path);
    const bool create = !fi.exists();
    if (fi.isDir())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': it is a directory.").arg(path));
    if (create) {
        const QFileInfo dir(fi.absolutePath());
        if (!dir.isDir() || !dir.isWritable())
            throw Error(err::CannotOpen,
                        QStringLiteral("Cannot create the database '%1': the folder does not exist or is not writable.")
                            .arg(path));
    } else if (!fi.isReadable()) {
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': permission denied.").arg(path));
    } else if (!fi.isWritable()) {
        throw Error(err::ReadOnly, QStringLiteral("Cannot update. The database '%1' is read-only.").arg(path));
    }

    auto conn = std::make_shared<Connection>();
    conn->name = nextConnectionName();
    conn->path = path;
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
    try {
        if (!conn->handle)
            throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': no SQLite handle.").arg(path));
        const QSqlDatabase db = conn->db();
        // Report text is 16-bit already; stored as such it is bound without conversion.
        // The encoding can only be chosen before the first write, the journal mode's included.
        if (create || fi.size() == 0)
            conn->exec(QStringLiteral("PRAGMA encoding='UTF-16le'"));
        conn->exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        conn->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Appending touches only the rightmost pages: 1 MiB of cache keeps memory flat with report size.
        conn->exec(QStringLiteral("PRAGMA cache_size=-1024"));
        if (m_maxPageCount > 0)
            conn->exec(QStringLiteral("PRAGMA max_page_count=%1").arg(m_maxPageCount));
        // A database with nothing in it is one whose creation was cut short
        // (a killed program, a touched file): give it its table.
        QSqlQuery objects(db);
        if (!objects.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !objects.next())
            throw sqliteError(objects.lastError(), path);
        if (objects.value(0).toInt() == 0) {
            conn->exec(QStringLiteral("BEGIN"));
            conn->exec(schema::createStatement());
            conn->exec(QStringLiteral("COMMIT"));
        }
        objects.finish();
        verifyTable();
    } catch (const Error &) {
        close();
        if (create) {
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
        }
        throw;
    }
}

// The converter relies on the 19 fields and on the refusal of zero-length
// text; a file that lacks either would store wrong or endless records.
void Database::verifyTable()
{
    const QSqlDatabase db = m_conn->db();
    const QString &path = m_conn->path;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name FROM pragma_table_info('ovrekson')")))
        throw sqliteError(q.lastError(), path);
    QStringList columns;
    while (q.next())
        columns << q.value(0).toString();
    if (columns.isEmpty())
        throw Error(err::TableNotFound,
                    QStringLiteral("The database '%1' has no table 'ovrekson'.").arg(path));
    for (const QString &f : schema::fieldNames())
        if (!columns.contains(f))
            throw Error(err::BadDefinition,
                        QStringLiteral("The table 'ovrekson' of '%1' has no field '%2'.").arg(path, f));
    m_conn->columns = columns;
    for (int i = 0; i < columns.size(); ++i)
        m_conn->columnIndex.insert(columns[i], i);

    // Try a zero-length text in each required field and undo it. The probe
    // needs the write lock; while another program holds it the check is
    // skipped rather than keep the window from opening the file.
    QString accepted;
    std::optional<Error> failure;
    m_conn->exec(QStringLiteral("SAVEPOINT probe"));
    for (int i = 0; i < schema::requiredTextFields && accepted.isEmpty() && !failure; ++i) {
        const QString &f = schema::fieldNames()[i];
        try {
            m_conn->exec(QStringLiteral("INSERT INTO ovrekson(\"%1\") VALUES('')").arg(f));
            accepted = f;
        } catch (const Error &e) {
            // Refused as it should be, or by another rule of the table: nothing learnt either way.
            if (e.number() != err::ZeroLengthString && e.number() != err::Reserved)
                failure = e;
        }
    }
    m_conn->exec(QStringLiteral("ROLLBACK TO probe"));
    m_conn->exec(QStringLiteral("RELEASE probe"));
    if (failure && failure->number() != err::FileInUse)
        throw *failure;
    if (!accepted.isEmpty())
        throw Error(err::BadDefinition,
                    QStringLiteral("The field '%2' of table 'ovrekson' in '%1' accepts zero-length text; "
                                   "the end of a report could not be recognised.")
                        .arg(path, accepted));
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

void Database::commit()
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    m_conn->commit();
}

qint64 Database::recordsStored() const
{
    return m_conn ? m_conn->stored : 0;
}

} // namespace zefto
