#pragma once

#include "recordset.h"
#include "store.h"

#include <QString>
#include <memory>

namespace zefto {

// The database holding ovrekson, as the engine sees it, over whichever store
// keeps the records. A conversion run is one transaction (beginRun ..
// commitRun or rollbackRun); records added outside a run are committed when
// their recordset or the database closes.
class Database {
public:
    using Missing = zefto::Missing;

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the database `name` leads to (a file path resolved against the
    // current directory now). A missing file is created with the ovrekson
    // definition, or refused (3024) with Missing::Refuse. Throws Error.
    void open(const QString &name, Missing missing = Missing::Create);
    // Uses a store opened elsewhere (a test double, another backend).
    void attach(std::shared_ptr<Store> store);
    void close();
    bool isOpen() const;
    // How messages name it: the full path of the file.
    QString path() const;

    // A dynaset over the whole of `table` (only ovrekson exists).
    Recordset openRecordset(const QString &table);

    // Takes the write lock for a run and holds it until commitRun or
    // rollbackRun. While another program holds it, calls whileWaiting(first)
    // every few milliseconds (it may throw to give up); after the lock wait
    // without the lock, 3045. A database removed or replaced since it was
    // opened is refused (3024) before anything is written.
    void beginRun(const WaitCallback &whileWaiting);
    // Makes the run's records permanent, once the name still leads to the
    // database they were written to; otherwise rolls them back and throws 3024.
    void commitRun();
    // Takes the run's records back out; never throws.
    void rollbackRun() noexcept;
    bool inRun() const;
    // Whether the name still leads to the database that was opened.
    bool stillNamesItsFile() const;
    // Keys of the first and last record of the current or last committed
    // run; (0, 0) when it stored none or was rolled back.
    KeyRange runKeys() const;

    // Commits what recordsets added outside a run; a no-op with nothing pending.
    void commit();

    // Records added through this database that are stored (committed or in
    // the open transaction); lowered when a failure rolls a transaction back.
    qint64 recordsStored() const;

    // Hands each record whose key lies in one of the ranges to `each`, in key
    // order, with the names of its fields.
    void readRecords(const QList<KeyRange> &ranges,
                     const std::function<void(const QStringList &fields, const Record &)> &each);

    // The conversion log; see Store for what each does.
    qint64 logRun(const Conversion &entry) { return live().logRun(entry); }
    std::optional<Conversion> findConversion(const QString &sha256) { return live().findConversion(sha256); }
    std::vector<Conversion> conversions() { return live().conversions(); }
    qint64 undoConversion(qint64 id, const QString &by) { return live().undoConversion(id, by); }
    void checkMayUndo() const { live().checkMayUndo(); }
    // The role a server proved this session to be; empty for a file.
    QString identity() const { return live().identity(); }
    // Runs `work` with every read in it seeing one state of the database.
    void readSnapshot(const std::function<void()> &work) { live().readSnapshot(work); }
    std::optional<qint64> dataVersion() { return live().dataVersion(); }

    // Reads for listings, exports and dry runs; see Store for what each does.
    // Each throws 3420 when the database is closed.
    const QStringList &columns() const { return live().columns(); }
    std::optional<Record> lastRecord() { return live().lastRecord(); }
    const Record *appendedLast() const { return live().appendedLast(); }
    qint64 countRecords(KeyRange within) { return live().countRecords(within); }
    std::optional<qint64> keyAt(KeyRange within, qint64 from, qint64 offset, bool down)
    {
        return live().keyAt(within, from, offset, down);
    }
    void readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each)
    {
        live().readAfter(within, after, limit, each);
    }
    void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each)
    {
        live().readKeys(keys, each);
    }
    std::vector<qint64> sortedKeys(KeyRange within, int field, bool descending, qint64 limit = -1)
    {
        return live().sortedKeys(within, field, descending, limit);
    }
    void readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                      const std::function<void(const Record &)> &each)
    {
        live().readMatching(within, after, limit, text, each);
    }
    void matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                      const std::function<void(qint64 key)> &each)
    {
        live().matchingKeys(within, after, upTo, text, each);
    }

    // How long a statement waits for another program's lock before failing (3045).
    void setBusyTimeout(int ms) { m_options.busyTimeoutMs = ms; }
    // How long a run waits for the write lock before failing (3045).
    void setLockWait(int ms) { m_options.lockWaitMs = ms; }
    // Caps the file at this many pages (0: no cap of ours); past it, 3026.
    void setMaxPageCount(int pages) { m_options.maxPageCount = pages; }
    // Opens later databases only to read them (no creation, no journal switch).
    void setReadOnly(bool on) { m_options.readOnly = on; }

private:
    Store &live() const; // throws 3420 when closed

    std::shared_ptr<Store> m_store;
    StoreOptions m_options;
};

} // namespace zefto
