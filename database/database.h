#pragma once

#include "recordset.h"

#include <QString>
#include <memory>

namespace zefto {

struct Connection;

// The database file holding ovrekson. Records are written in one
// transaction per recordset, committed when the recordset or the database
// closes; see Connection::commit for why that is safe.
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens `name`, resolved against the current directory now. A missing
    // file is created with the ovrekson definition. Throws Error.
    void open(const QString &name);
    void close();
    bool isOpen() const;
    QString path() const;

    // A dynaset over the whole of `table` (only ovrekson exists).
    Recordset openRecordset(const QString &table);

    // Commits what recordsets added so far; a no-op with nothing pending.
    void commit();

    // Records added through this database that are stored (committed or in
    // the open transaction); lowered when a failure rolls a transaction back.
    qint64 recordsStored() const;

    // How long to wait for another program's lock before failing (3045).
    void setBusyTimeout(int ms) { m_busyTimeoutMs = ms; }
    // Caps the file at this many pages (0: SQLite's own limit); past it, 3026.
    void setMaxPageCount(int pages) { m_maxPageCount = pages; }

private:
    void verifyTable();
    std::shared_ptr<Connection> m_conn;
    int m_busyTimeoutMs = 5000;
    int m_maxPageCount = 0;
};

} // namespace zefto
