#pragma once

#include "fileidentity.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct sqlite3;
struct sqlite3_stmt;

namespace zefto {

class Error;

// What a Database and every Recordset opened on it share. A recordset that
// outlives its database's Close sees `open` false and refuses work (3420).
// The per-record statements go straight to SQLite on the driver's handle:
// through QSqlQuery a record cost several times as much.
struct Connection {
    QString name;          // Qt's connection name, unique per Database
    QString path;          // absolute path of the file
    bool open = false;
    sqlite3 *handle = nullptr;
    QStringList columns;   // fields of ovrekson, in table order
    QHash<QString, int> columnIndex;
    QHash<QString, sqlite3_stmt *> inserts; // prepared INSERT per set of fields
    sqlite3_stmt *lastRow = nullptr;        // the record added last
    qint64 pending = 0;    // records added since the open transaction began
    qint64 stored = 0;     // records this connection added that are in the file or the open transaction
    FileIdentity identity; // the file we opened, to notice it being removed or replaced
    bool inRun = false;    // a run's transaction is open: recordsets must not commit it
    qint64 runFirstKey = 0; // keys of the first and last record of the run (0: none yet)
    qint64 runLastKey = 0;
    bool tablePending = false; // a new file whose table another writer kept us from creating at open
    bool probePending = false; // the zero-length probe waits for the write lock
    int busyTimeoutMs = 5000;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    sqlite3_stmt *prepare(const QString &sql);
    Error error(int code) const; // the numbered error for SQLite's last failure
    // Runs one statement; SQLITE_BUSY comes back as a result rather than an Error.
    int tryExec(const QString &sql);
    void exec(const QString &sql);
    void begin();
    void commit();
    // After a failed statement: SQLite may have rolled the whole transaction
    // back (disk full, I/O error); then its records are no longer stored.
    void noteFailure();
    void finalize(); // releases the prepared statements
};

} // namespace zefto
