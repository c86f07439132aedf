#pragma once

#include "recordset.h"

#include <QString>
#include <functional>
#include <memory>
#include <utility>

namespace zefto {

struct Connection;

// The database file holding ovrekson. A conversion run is one transaction
// (beginRun .. commitRun or rollbackRun); records added outside a run are
// committed when their recordset or the database closes.
class Database {
public:
    enum class Missing { Create, Refuse };

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens `name`, resolved against the current directory now. A missing
    // file is created with the ovrekson definition, or refused (3024) with
    // Missing::Refuse. Throws Error.
    void open(const QString &name, Missing missing = Missing::Create);
    void close();
    bool isOpen() const;
    QString path() const;

    // A dynaset over the whole of `table` (only ovrekson exists).
    Recordset openRecordset(const QString &table);

    // Takes the write lock for a run and holds it until commitRun or
    // rollbackRun. While another program holds it, calls whileWaiting(first)
    // every few milliseconds (it may throw to give up); after the lock wait
    // without the lock, 3045. A file removed or replaced since it was opened
    // is refused (3024) before anything is written.
    void beginRun(const std::function<void(bool first)> &whileWaiting);
    // Makes the run's records permanent, once the path still names the file
    // they were written to; otherwise rolls them back and throws 3024.
    void commitRun();
    // Takes the run's records back out; never throws.
    void rollbackRun() noexcept;
    bool inRun() const;
    // Keys of the first and last record of the current or last committed
    // run; (0, 0) when it stored none or was rolled back.
    std::pair<qint64, qint64> runKeys() const;
    // Whether the path still names the file this database opened.
    bool stillNamesItsFile() const;

    // Commits what recordsets added outside a run; a no-op with nothing pending.
    void commit();

    // Records added through this database that are stored (committed or in
    // the open transaction); lowered when a failure rolls a transaction back.
    qint64 recordsStored() const;

    // How long a statement waits for another program's lock before failing (3045).
    void setBusyTimeout(int ms) { m_busyTimeoutMs = ms; }
    // How long a run waits for the write lock before failing (3045).
    void setLockWait(int ms) { m_lockWaitMs = ms; }
    // Caps the file at this many pages (0: SQLite's own limit); past it, 3026.
    void setMaxPageCount(int pages) { m_maxPageCount = pages; }

private:
    void configure(bool empty);
    void createTableIfMissing(bool wait);
    void checkStillNamed(qint64 records) const;

    std::shared_ptr<Connection> m_conn;
    int m_busyTimeoutMs = 5000;
    int m_lockWaitMs = 60000;
    int m_maxPageCount = 0;
};

} // namespace zefto
