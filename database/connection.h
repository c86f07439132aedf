#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

namespace zefto {

// What a Database and every Recordset opened on it share. A recordset that
// outlives its database's Close sees `open` false and refuses work (3420).
struct Connection {
    QString name;          // Qt's connection name, unique per Database
    QString path;          // absolute path of the file
    bool open = false;
    QStringList columns;   // fields of ovrekson, in table order
    QHash<QString, QSqlQuery> inserts; // prepared INSERT per set of fields
    qint64 pending = 0;    // records added since the open transaction began
    qint64 stored = 0;     // records this connection added that are in the file or the open transaction

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    void begin();
    void commit();
    // After a failed statement: SQLite may have rolled the whole transaction
    // back (disk full, I/O error); then its records are no longer stored.
    void noteFailure();
};

} // namespace zefto
