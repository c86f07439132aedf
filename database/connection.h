#pragma once

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

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    sqlite3_stmt *prepare(const QString &sql);
    Error error(int code) const; // the numbered error for SQLite's last failure
    void exec(const QString &sql);
    void begin();
    void commit();
    // After a failed statement: SQLite may have rolled the whole transaction
    // back (disk full, I/O error); then its records are no longer stored.
    void noteFailure();
    void finalize(); // releases the prepared statements
};

} // namespace zefto
