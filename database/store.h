#pragma once

#include "conversion.h"
#include "value.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zefto {

// One record of ovrekson, its values in the store's column order.
using Record = std::vector<Value>;
// Keys of the first and last record of a run; (0, 0) when there are none.
using KeyRange = std::pair<qint64, qint64>;
// The key of a record whose columns are `columns` (its "id"; 0 without one).
qint64 keyIn(const QStringList &columns, const Record &record);

// What opening a database may do when it does not exist yet. CreateForRun:
// create it, and make its table in the transaction of the run that follows
// at once (a new file's separate creation costs four syncs).
enum class Missing { Create, Refuse, CreateForRun };

// Settings a store takes at open; the defaults are the program's.
struct StoreOptions {
    int busyTimeoutMs = 5000; // how long one statement waits for another program's lock (3045 after)
    int lockWaitMs = 60000;   // how long a run waits for the write lock (3045 after)
    int maxPageCount = 0;     // a size cap for tests of a full database (0: none)
    bool readOnly = false;    // only read: no creation, no journal switch, no probe (a dry run, the records tool)
};

// Called every few milliseconds while a run waits for another program's
// write lock; `first` on the first call. It may throw to give up waiting.
using WaitCallback = std::function<void(bool first)>;

// Everything the DAO surface (Database, Recordset) asks of the engine that
// keeps the records. Each backend implements it in its own files; nothing
// above this interface knows which one runs. Failures are thrown as Error.
class Store {
public:
    virtual ~Store() = default;

    // The database as messages name it: its full path (or address without password).
    virtual QString name() const = 0;
    virtual bool isOpen() const = 0;
    // Commits what was added outside a run, takes back an unfinished run, and closes.
    virtual void close() = 0;

    // The fields of ovrekson in table order, the order of every Record.
    virtual const QStringList &columns() const = 0;
    // The record added last, or nothing when the table is empty.
    virtual std::optional<Record> lastRecord() = 0;
    // Stores a record of which only the fields marked in `given` are set
    // (the others keep the table's defaults), or throws and stores nothing.
    virtual void append(const Record &values, const std::vector<bool> &given) = 0;
    // As append, but a store that keeps the record it stored may take the
    // values instead of a copy: `values` is then left with whatever it gave back.
    // A refused record leaves them as they were.
    virtual void appendTaking(Record &values, const std::vector<bool> &given) { append(values, given); }
    // The record appended last as the table holds it, when the store keeps
    // it in memory anyway (no copy, valid until the next append); else
    // nothing, and lastRecord() tells it.
    virtual const Record *appendedLast() const { return nullptr; }
    // Makes permanent what was appended outside a run.
    virtual void commitPending() = 0;

    // A conversion run is one transaction that holds the write lock throughout.
    virtual void beginRun(const WaitCallback &whileWaiting) = 0;
    virtual void commitRun() = 0;
    virtual void rollbackRun() noexcept = 0;
    virtual bool inRun() const = 0;
    // Keys of the current or last committed run's records.
    virtual KeyRange runKeys() const = 0;
    // Records appended through this store that are stored (committed or in the open transaction).
    virtual qint64 recordsStored() const = 0;
    // Whether the name still leads to the database that was opened.
    virtual bool stillThere() const = 0;

    // Hands each record whose key lies in one of the ranges to `each`, in key order.
    virtual void readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each) = 0;

    // A window at a time, for a browser. Keys ascend but need not be
    // contiguous (an undo leaves a gap); everything stays inside `within`.
    // How many records have keys in `within`.
    virtual qint64 countRecords(KeyRange within) = 0;
    // The key `offset` records on from key `from` (`from` itself is offset 0
    // when stored), upwards or, with `down`, downwards; nothing past the end.
    virtual std::optional<qint64> keyAt(KeyRange within, qint64 from, qint64 offset, bool down) = 0;
    // Up to `limit` records with keys above `after`, in key order.
    virtual void readAfter(KeyRange within, qint64 after, int limit,
                           const std::function<void(const Record &)> &each) = 0;
    // The first `limit` keys (every key when below 0) in `within`, ordered by
    // the field `field` (schema order; a field that reads as a number compared
    // as one, text in Turkish alphabetical order, no value first), then by key;
    // descending is that order reversed.
    virtual std::vector<qint64> sortedKeys(KeyRange within, int field, bool descending, qint64 limit) = 0;
    // The records with these keys (ascending) that are still there, in key order.
    virtual void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each) = 0;

    // Filtered reads: records with a field filter.h looks at holding `text`,
    // ignoring case and Turkish letter marks. A backend that can test in its
    // queries does; these defaults read every record and test it here.
    // Up to `limit` matching records with keys above `after`, inside `within`, in key order.
    virtual void readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                              const std::function<void(const Record &)> &each);
    // The keys of every matching record with a key above `after` and up to `upTo`, inside `within`, ascending.
    virtual void matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                              const std::function<void(qint64 key)> &each);

    // The conversion log (zefto_conversions), created by beginRun when missing.
    // Writes `entry` for the open run, in the run's transaction, with the run's
    // record count and keys filled in, and the check of its shares when
    // `entry.shares` holds one (a file's log gets the columns when it lacks
    // them; a server's only when they are there and the role may fill them);
    // returns the entry's id. Called once, as the run's last step before
    // commitRun: a server's store commits the run with its entry, saving a
    // round trip, and its commitRun then has nothing left to do. A run that
    // fails here leaves no entry.
    virtual qint64 logRun(const Conversion &entry) = 0;
    // The newest conversion of a report with this SHA-256 that stored records
    // and is not undone; nothing when there is none (or no log yet). A
    // server's store that may convert opens the run that follows in the same
    // round trip when the answer is nothing; any call but beginRun takes that
    // opening back.
    virtual std::optional<Conversion> findConversion(const QString &sha256) = 0;
    // Every conversion in the log, oldest first (none when there is no log yet).
    virtual std::vector<Conversion> conversions() = 0;
    // In one transaction of its own: removes exactly the records of conversion
    // `id` and marks it undone now by `by`; returns how many it removed.
    // Refuses (throws, removing nothing) an unknown id, an undone conversion,
    // or one whose records are no longer all there.
    virtual qint64 undoConversion(qint64 id, const QString &by) = 0;
    // Throws the refusal (3027) naming what this session lacks to undo, so it
    // is told before anything else is said; a file refuses nothing here.
    virtual void checkMayUndo() const {}
    // The role the server authenticated this session as (the log records it
    // with each run); empty for a file, where nobody's identity can be proven.
    virtual QString identity() const { return QString(); }

    // A number that changes whenever another connection commits to the
    // database, read without touching the tables; none where the store
    // cannot tell so cheaply (then the log is compared instead).
    virtual std::optional<qint64> dataVersion() { return std::nullopt; }

    // Runs `work`, whose reads then all see the database as it was at its
    // first read (one read transaction); inside an open transaction, that one.
    virtual void readSnapshot(const std::function<void()> &work) { work(); }

protected:
    // What close() does in every backend: an unfinished run is taken back (runs
    // are whole or absent), what was added outside a run is committed, and
    // `release` lets go of the connection even when that commit failed; the
    // commit's failure is thrown after.
    void finishThenRelease(const std::function<void()> &release);
};

} // namespace zefto
