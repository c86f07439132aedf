#include "sqlitestore.h"

#include "sqlitebackend.h"

#include "browse.h"
#include "conversion.h"
#include "definition.h"
#include "error.h"
#include "matchfunction.h"
#include "schema.h"
#include "sqliteerror.h"
#include "turkishcollation.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <cmath>
#include <utility>

namespace zefto::sqlite {
namespace {

// How often a run that waits for the write lock tries again (and lets a window paint).
constexpr int lockRetryMs = 20;

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// A view, not a QString: nothing to allocate before main, where running out of memory could not be reported.
constexpr QLatin1StringView table(schema::tableName);

// Refusals that need no connection: what the path names and what we may do there.
void checkPath(const QString &path, Missing missing, bool readOnly)
{
    const QFileInfo fi(path);
    const QFileInfo folder(fi.absolutePath());
    if (fi.isDir())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': it is a directory.").arg(path));
    if (!fi.exists()) {
        if (missing == Missing::Refuse)
            throw Error(err::DatabaseGone,
                        QStringLiteral("The database '%1' no longer exists; nothing was converted.").arg(path));
        if (!folder.isDir() || !folder.isWritable())
            throw Error(err::CannotOpen,
                        QStringLiteral("Cannot create the database '%1': the folder does not exist or is not writable.")
                            .arg(path));
        return;
    }
    if (!fi.isFile())
        throw Error(err::CannotOpen,
                    QStringLiteral("Cannot open the database '%1': it is not a regular file.").arg(path));
    if (!fi.isReadable())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': permission denied.").arg(path));
    if (readOnly)
        return;
    if (!fi.isWritable())
        throw Error(err::ReadOnly, QStringLiteral("Cannot update. The database '%1' is read-only.").arg(path));
    if (!folder.isWritable())
        throw Error(err::ReadOnly,
                    QStringLiteral("Cannot update the database '%1': its folder '%2' is not writable, and "
                                   "every change needs a journal file beside the database.")
                        .arg(path, folder.absoluteFilePath()));
}

// Column `i` into `into`, a text written over the one it held.
void readColumn(sqlite3_stmt *stmt, int i, bool utf8, Value &into)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL: into = Value::null(); break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: into = Value::number(sqlite3_column_double(stmt, i)); break;
    default: readColumnText(stmt, i, utf8, into);
    }
}

int bind(sqlite3_stmt *stmt, int i, const Value &v, TextBinder &text)
{
    switch (v.kind()) {
    case Value::Kind::Text: return text.bind(stmt, i, v.asText()); // the value outlives the step that uses it
    case Value::Kind::Double: return sqlite3_bind_double(stmt, i, v.asDouble());
    default: return sqlite3_bind_null(stmt, i);
    }
}

} // namespace

// Commit strategy. A conversion run is one transaction: beginRun takes the
// write lock (BEGIN IMMEDIATE) before the first read-back and holds it to
// the run's end, so a run's records are contiguous, a read-back sees only
// this run's records or older ones, and other programs see the table as
// before or after a run. The journal is SQLite's rollback journal with
// synchronous=FULL: outside a run the file alone holds every committed
// record, a killed run leaves the table as it was, and it works on network
// shares. Records added outside a run (tests, tools) go into a transaction
// of their own, committed by commitPending and at close.
std::shared_ptr<SqliteStore> SqliteStore::open(const QString &path, Missing missing, const StoreOptions &options)
{
    const bool readOnly = options.readOnly;
    if (readOnly)
        missing = Missing::Refuse;
    checkPath(path, missing, readOnly);
    std::shared_ptr<SqliteStore> store(new SqliteStore(path, options));
    // Never delete what we opened on failure: another program may be using the file by now.
    try {
        store->connect(missing);
        const std::optional<FileIdentity> id = FileIdentity::of(path);
        if (!id)
            throw Error(err::DatabaseGone,
                        QStringLiteral("The database '%1' was removed while it was opened.").arg(path));
        store->m_identity = *id;
        if (readOnly) {
            // A reader changes nothing: not the journal, not the table, no probe.
            store->m_db.exec(QStringLiteral("PRAGMA cache_size=-1024"));
            store->m_columns = definition::checkFields(store->m_db);
            store->readEncoding();
            return store;
        }
        store->configure(QFileInfo(path).size() == 0);
        store->createTableIfFileEmpty(missing == Missing::CreateForRun);
        store->readEncoding();
        if (!store->m_tablePending) {
            store->m_columns = definition::checkFields(store->m_db);
            store->m_probePending = !definition::probeZeroLengthRefusal(store->m_db, false);
        }
    } catch (const Error &) {
        store->close();
        throw;
    }
    return store;
}

SqliteStore::~SqliteStore()
{
    closeInDestructor(*this);
}

void SqliteStore::connect(Missing missing)
{
    m_db.open(m_path,
              m_options.readOnly ? SQLITE_OPEN_READONLY
                                 : SQLITE_OPEN_READWRITE | (missing != Missing::Refuse ? SQLITE_OPEN_CREATE : 0),
              m_options.busyTimeoutMs);
    if (const int added = addMatchFunction(m_db.handle()); added != SQLITE_OK)
        throw m_db.error(added);
    if (const int added = addTurkishCollation(m_db.handle()); added != SQLITE_OK)
        throw m_db.error(added);
}

// Known once the file has its first page (or, empty, the encoding it will be made in); a run
// reads it again under its lock, as another program may have made the file meanwhile.
void SqliteStore::readEncoding()
{
    m_text.setUtf8(definition::encoding(m_db) == QLatin1String("UTF-8"));
}

void SqliteStore::configure(bool empty)
{
    // Our own UTF-8 is bound as it is, and takes 40% fewer pages than UTF-16 to write: the conversion is
    // faster. The encoding can only be chosen before the file's first write; files keep theirs.
    if (empty)
        m_db.exec(QStringLiteral("PRAGMA encoding='UTF-8'"));
    // A file left in write-ahead mode by an older version is switched back
    // unless another program has it open; that one will switch it later.
    m_db.tryExec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    m_db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // Appending touches only the rightmost pages: 1 MiB of cache keeps memory flat with report size.
    m_db.exec(QStringLiteral("PRAGMA cache_size=-1024"));
    if (m_options.maxPageCount > 0)
        m_db.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(m_options.maxPageCount));
}

// A database with nothing in it is a new file, or one whose creation was cut
// short: it gets its table. When another program holds the write lock (it is
// likely creating the same table), or a run follows at once, the run does it
// under its own lock.
void SqliteStore::createTableIfFileEmpty(bool inFirstRun)
{
    m_tablePending = false;
    if (m_db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")) != 0)
        return;
    if (inFirstRun) {
        m_tablePending = true;
        return;
    }
    std::optional<Transaction> create;
    try {
        BusyTimeout noWait(m_db, 0);
        create.emplace(m_db, Transaction::Kind::Immediate);
    } catch (const Error &e) {
        if (e.number() != err::FileInUse)
            throw;
        m_tablePending = true;
        return;
    }
    m_db.exec(schema::createStatement());
    create->commit();
}

void SqliteStore::close()
{
    if (!m_db.isOpen())
        return;
    finishThenRelease([this] {
        m_transaction.reset();
        m_lastInsert = nullptr;
        m_inserts.clear();
        m_lastRow = Statement();
        m_db.close();
    });
}

std::optional<Record> SqliteStore::lastRecord()
{
    checkRunStands();
    if (m_inRun && m_runLastKnown)
        return m_runLast;
    if (!m_lastRow)
        m_lastRow = m_db.prepare(QStringLiteral("SELECT * FROM %1 ORDER BY rowid DESC LIMIT 1").arg(table));
    sqlite3_stmt *q = m_lastRow.get();
    ResetOnExit reset(q);
    const int rc = sqlite3_step(q);
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW) {
        const Error e = m_db.error(rc);
        afterFailure();
        throw e;
    }
    // SELECT * yields the columns in table order, the order of m_columns.
    const int n = std::min<int>(sqlite3_column_count(q), int(m_columns.size()));
    Record r(m_columns.size(), Value::null());
    for (int i = 0; i < n; ++i)
        readColumn(q, i, m_text.utf8(), r[i]);
    return r;
}

// Whether this INSERT binds exactly the fields marked in `fields`.
bool SqliteStore::Insert::bindsExactly(const std::vector<bool> &fields) const
{
    if (given.size() + notGiven.size() != fields.size())
        return false;
    for (const int i : given)
        if (!fields[size_t(i)])
            return false;
    for (const int i : notGiven)
        if (fields[size_t(i)])
            return false;
    return true;
}

const SqliteStore::Insert &SqliteStore::insertFor(const std::vector<bool> &given)
{
    // Record after record comes with the same fields: try the statement used last first.
    if (m_lastInsert && m_lastInsert->bindsExactly(given))
        return *m_lastInsert;
    auto it = m_inserts.find(given);
    if (it != m_inserts.end())
        return *(m_lastInsert = &it->second);
    Insert insert;
    QStringList cols, marks;
    for (size_t i = 0; i < given.size(); ++i) {
        (given[i] ? insert.given : insert.notGiven).push_back(int(i));
        if (given[i]) {
            cols << quoted(m_columns[int(i)]);
            marks << QStringLiteral("?");
        }
    }
    // Fields not given keep the table's defaults.
    insert.statement = m_db.prepare(
        cols.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                       : QStringLiteral("INSERT INTO %1(%2) VALUES(%3)").arg(table, cols.join(u','), marks.join(u',')));
    return *(m_lastInsert = &m_inserts.emplace(given, std::move(insert)).first->second);
}

// Whether the record just stored reads back as it was bound: the table is
// plain (see definition::storedAsBound) and so is every value given.
bool SqliteStore::readsBackAsBound(const Record &values, const Insert &insert) const
{
    using definition::FieldKind;
    const size_t n = m_storedAsBound.size();
    if (!m_inRun || n == 0 || insert.given.size() + insert.notGiven.size() != n || values.size() != n)
        return false;
    for (const int i : insert.given) {
        const Value &v = values[size_t(i)];
        switch (m_storedAsBound[size_t(i)]) {
        case FieldKind::Key: return false;
        case FieldKind::Text:
            if (v.isDouble() || (v.isText() && startsWithByteOrderMark(v.asText())))
                return false;
            break;
        case FieldKind::Real:
            if (v.isText() || (v.isDouble() && !std::isfinite(v.asDouble())))
                return false;
            break;
        }
    }
    return true;
}

// m_runLast holds the values just stored: make it the record as the table holds it.
void SqliteStore::settleRunLast(const Insert &insert)
{
    for (const int i : insert.notGiven) {
        Value &v = m_runLast[size_t(i)];
        if (m_storedAsBound[size_t(i)] == definition::FieldKind::Key)
            v = Value::number(double(m_runKeys.second));
        else if (!v.isNull())
            v = Value::null();
    }
    for (const int i : insert.given) {
        Value &v = m_runLast[size_t(i)];
        if (!(v.isText() || v.isDouble() || v.isNull()))
            v = Value::null();
    }
    m_runLastKnown = true;
}

// Continuation rows read the record stored last back: from memory where it can be known.
void SqliteStore::append(const Record &values, const std::vector<bool> &given)
{
    const Insert &stored = insert(values, given);
    if (readsBackAsBound(values, stored)) {
        m_runLast = values;
        settleRunLast(stored);
    }
}

void SqliteStore::appendTaking(Record &values, const std::vector<bool> &given)
{
    const Insert &stored = insert(values, given);
    if (readsBackAsBound(values, stored)) {
        m_runLast.swap(values);
        settleRunLast(stored);
    }
}

const SqliteStore::Insert &SqliteStore::insert(const Record &values, const std::vector<bool> &given)
{
    checkRunStands();
    m_runLastKnown = false;
    const Insert &statement = insertFor(given);
    sqlite3_stmt *q = statement.statement.get();
    {
        ResetOnExit reset(q, Bindings::Keep); // an INSERT has a parameter for each field given
        int b = 0;
        for (const int i : statement.given)
            if (bind(q, ++b, values[size_t(i)], m_text) != SQLITE_OK)
                throw m_db.error(sqlite3_errcode(m_db.handle()));
        afterFailure(); // outside a run, records since a transaction SQLite took back are gone
        if (!m_transaction)
            m_transaction.emplace(m_db, Transaction::Kind::Deferred);
        QString refusedBy;
        const Verdict verdict = m_checksSkipped ? judgeAsTheTable(values, statement, &refusedBy) : Verdict::Passes;
        if (verdict == Verdict::Refused)
            throw refusal(refusedBy); // as SQLite refuses it: nothing stored, the run goes on
        std::optional<Error> failure;
        const int rc = verdict == Verdict::SQLiteDecides ? stepWithTableChecks(q, failure) : sqlite3_step(q);
        if (rc != SQLITE_DONE) {
            const Error e = failure ? *failure : m_db.error(rc);
            afterFailure();
            throw e;
        }
    }
    ++m_pending;
    ++m_stored;
    m_runKeys.second = sqlite3_last_insert_rowid(m_db.handle());
    if (m_inRun && m_runKeys.first == 0 && m_keyFloor >= m_runKeys.second) {
        // Moved above every key a conversion ever used; later records follow it. A record left
        // below the floor would take an undone conversion's key, so a failed move takes the run back.
        try {
            Statement move = m_db.prepare(QStringLiteral("UPDATE %1 SET rowid = ? WHERE rowid = ?").arg(table));
            sqlite3_bind_int64(move.get(), 1, m_keyFloor + 1);
            sqlite3_bind_int64(move.get(), 2, m_runKeys.second);
            if (const int rc = sqlite3_step(move.get()); rc != SQLITE_DONE)
                throw m_db.error(rc);
        } catch (...) {
            forgetRun();
            throw;
        }
        m_runKeys.second = m_keyFloor + 1;
    }
    if (m_runKeys.first == 0)
        m_runKeys.first = m_runKeys.second;
    return statement;
}

// After a failed statement: when SQLite took the whole transaction back
// (out of memory, an I/O error, a full disk), nothing of it is stored any more.
void SqliteStore::afterFailure()
{
    if (m_transaction && !m_transaction->open())
        forgetRun();
}

// A run whose transaction SQLite ended by itself must not go on: what follows
// would be committed on its own, without the records before it.
void SqliteStore::checkRunStands()
{
    if (!m_inRun || m_db.inTransaction())
        return;
    forgetRun();
    throw Error(err::Reserved, QStringLiteral("The database '%1' took back the conversion after a failure; nothing of "
                                              "it was stored.")
                                   .arg(m_path));
}

void SqliteStore::forgetRun() noexcept
{
    if (m_transaction)
        m_transaction->rollback();
    m_transaction.reset();
    m_stored -= m_pending;
    m_pending = 0;
    m_inRun = false;
    m_runKeys = {0, 0};
    m_runLastKnown = false;
    keepTableChecks();
    if (std::exchange(m_tableInRun, false))
        m_tablePending = true;
}

void SqliteStore::commitPending()
{
    if (m_inRun || !m_db.isOpen() || !m_transaction)
        return; // the run commits its records as one
    try {
        m_transaction->commit();
    } catch (const Error &) {
        forgetRun();
        throw;
    }
    m_transaction.reset();
    m_pending = 0;
}

bool SqliteStore::stillThere() const
{
    const std::optional<FileIdentity> now = FileIdentity::of(m_path);
    return m_db.isOpen() && now && *now == m_identity;
}

void SqliteStore::checkStillNamed(qint64 records) const
{
    const std::optional<FileIdentity> now = FileIdentity::of(m_path);
    if (now && *now == m_identity)
        return;
    if (records < 0)
        throw Error(err::DatabaseGone,
                    now ? QStringLiteral("The database '%1' was replaced by another file since it was opened; "
                                         "nothing was converted.")
                              .arg(m_path)
                        : QStringLiteral("The database '%1' no longer exists; nothing was converted.").arg(m_path));
    throw Error(err::DatabaseGone,
                QStringLiteral("The database '%1' was removed or replaced during the conversion; its %2 records are "
                               "not in it.")
                    .arg(m_path)
                    .arg(records));
}

// Waiting in short steps lets the caller paint, report and give up.
void SqliteStore::waitForWriteLock(const WaitCallback &whileWaiting)
{
    BusyTimeout noWait(m_db, 0);
    QElapsedTimer waited;
    waited.start();
    for (bool first = true; m_db.tryExec(QStringLiteral("BEGIN IMMEDIATE")) == SQLITE_BUSY; first = false) {
        if (waited.elapsed() >= m_options.lockWaitMs)
            throw Error(err::FileInUse, QStringLiteral("The database '%1' is in use by another program, which held its "
                                                       "write lock for %2 s; nothing was stored.")
                                            .arg(m_path)
                                            .arg(m_options.lockWaitMs / 1000.0));
        whileWaiting(first);
        QThread::msleep(lockRetryMs);
    }
    m_transaction.emplace(Transaction::adopt(m_db));
}

void SqliteStore::beginRun(const WaitCallback &whileWaiting)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is already in progress.").arg(m_path));
    checkStillNamed(-1);
    commitPending();
    waitForWriteLock(whileWaiting);
    m_inRun = true;
    m_pending = 0;
    m_runKeys = {0, 0};
    m_runLastKnown = false;
    m_storedAsBound.clear();
    m_zeroLength.clear();
    ++m_runs;
    try {
        // The last run could not give them back: no other statement may go without them.
        keepTableChecks();
        if (m_checksSkipped)
            throw m_db.error(sqlite3_errcode(m_db.handle()));
        if (m_tablePending) {
            // Another program may have made it while we waited: then it is checked as a table found at open.
            const bool found = m_db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                                          "AND name = '%1'")
                                               .arg(table))
                               != 0;
            m_db.exec(schema::createStatement());
            m_tablePending = false;
            m_tableInRun = !found;
            m_columns = definition::checkFields(m_db);
            m_probePending = found;
        }
        if (m_probePending) {
            definition::probeZeroLengthRefusal(m_db, true);
            m_probePending = false;
        }
        m_db.exec(conversionlog::createStatement(false));
        m_keyFloor = m_db.scalar(
            QStringLiteral("SELECT coalesce(max(last_key), 0) FROM %1").arg(QLatin1String(conversionTableName)));
        readEncoding();
        m_storedAsBound = definition::storedAsBound(m_db, m_columns);
        // The file may have been replaced while we waited for its lock.
        checkStillNamed(-1);
        if (!m_storedAsBound.empty())
            if (auto checks = definition::zeroLengthChecks(m_db, m_columns, m_storedAsBound)) {
                m_zeroLength = std::move(*checks);
                skipTableChecks();
            }
    } catch (...) {
        rollbackRun();
        throw;
    }
}

void SqliteStore::commitRun()
{
    if (!m_db.isOpen() || !m_inRun)
        return;
    try {
        checkRunStands();
        checkStillNamed(m_pending);
        // The commit waits for readers to let go, as a run waits for a writer: a
        // listing copying a million records holds its snapshot for seconds.
        BusyTimeout readersFinish(m_db, m_options.lockWaitMs);
        m_transaction->commit();
    } catch (...) {
        rollbackRun();
        throw;
    }
    m_transaction.reset();
    m_inRun = false;
    m_tableInRun = false;
    m_pending = 0;
    m_runLastKnown = false;
    keepTableChecks();
}

void SqliteStore::rollbackRun() noexcept
{
    if (!m_db.isOpen() || !m_inRun)
        return;
    forgetRun();
    if (!m_tablePending || !stillThere())
        return;
    // A first run taken back leaves the new file as it always did: with its empty table.
    try {
        createTableIfFileEmpty(false);
        if (!m_tablePending)
            m_columns = definition::checkFields(m_db);
    } catch (...) {
        // The file stays without a table, as a creation cut short leaves it; the next run makes it.
        m_tablePending = true;
    }
}

void SqliteStore::readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q =
        m_db.prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid BETWEEN ? AND ? ORDER BY rowid").arg(table));
    for (const auto &[first, last] : ranges) {
        if (first <= 0)
            continue;
        ResetOnExit reset(q.get());
        sqlite3_bind_int64(q.get(), 1, first);
        sqlite3_bind_int64(q.get(), 2, last);
        eachRow(q.get(), each);
    }
}

void SqliteStore::eachRow(sqlite3_stmt *q, const std::function<void(const Record &)> &each)
{
    // One record, its texts written over row after row: a listing reads millions of fields.
    Record r(m_columns.size(), Value::null());
    const int n = std::min<int>(sqlite3_column_count(q), int(m_columns.size()));
    int rc;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i)
            readColumn(q, i, m_text.utf8(), r[i]);
        each(r);
    }
    if (rc != SQLITE_DONE)
        throw m_db.error(rc);
}

qint64 SqliteStore::countRecords(KeyRange within)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    return scalar(browse::countStatement(QStringLiteral("rowid"), within));
}

std::optional<qint64> SqliteStore::keyAt(KeyRange within, qint64 from, qint64 offset, bool down)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q = m_db.prepare(browse::keyAtStatement(QStringLiteral("rowid"), within, from, offset, down));
    const int rc = sqlite3_step(q.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        throw m_db.error(rc);
    return sqlite3_column_int64(q.get(), 0);
}

void SqliteStore::readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q = m_db.prepare(browse::afterStatement(QStringLiteral("rowid"), within, after, limit));
    eachRow(q.get(), each);
}

std::vector<qint64> SqliteStore::sortedKeys(KeyRange within, int field, bool descending, qint64 limit)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    // Text that is not a number casts to 0 in SQLite: such text sorts with the zeros, then by itself.
    Statement q = m_db.prepare(browse::sortedKeysStatement(
        QStringLiteral("rowid"), within, {field, descending, limit, true}, [](const QString &c, bool number) {
            return number ? QStringLiteral("CAST(%1 AS REAL)").arg(c)
                          : QStringLiteral("%1 COLLATE %2").arg(c, QLatin1String(turkishCollation));
        }));
    std::vector<qint64> keys;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(q.get(), 0));
    if (rc != SQLITE_DONE)
        throw m_db.error(rc);
    return keys;
}

std::optional<qint64> SqliteStore::dataVersion()
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    return scalar(QStringLiteral("PRAGMA data_version"));
}

void SqliteStore::readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q = m_db.prepare(browse::keysStatement(QStringLiteral("rowid"), keys));
    eachRow(q.get(), each);
}

qint64 SqliteStore::scalar(const QString &sql, qint64 param)
{
    Statement q = m_db.prepare(sql);
    sqlite3_bind_int64(q.get(), 1, param);
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW)
        throw m_db.error(rc);
    return sqlite3_column_int64(q.get(), 0);
}

void SqliteStore::bindAll(sqlite3_stmt *q, const QList<QVariant> &params)
{
    for (int i = 0; i < params.size(); ++i) {
        const QVariant &v = params[i];
        int rc;
        if (v.isNull())
            rc = sqlite3_bind_null(q, i + 1);
        else if (v.typeId() == QMetaType::QString) {
            const QString text = v.toString();
            rc = m_text.bindCopy(q, i + 1, text);
        } else
            rc = sqlite3_bind_int64(q, i + 1, v.toLongLong());
        if (rc != SQLITE_OK)
            throw m_db.error(rc);
    }
}

bool SqliteStore::hasLog()
{
    Statement q = m_db.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '%1'")
                                   .arg(QLatin1String(conversionTableName)));
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW)
        throw m_db.error(rc);
    return sqlite3_column_int(q.get(), 0) > 0;
}

bool SqliteStore::logHasCheck()
{
    return scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info('%1') WHERE name = '%2'")
                      .arg(QLatin1String(conversionTableName), conversionlog::checkFields().constFirst()))
           > 0;
}

std::vector<Conversion> SqliteStore::readLog(const QString &where, const QList<QVariant> &params)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    std::vector<Conversion> out;
    if (!hasLog())
        return out;
    QString fields = QLatin1String(conversionlog::fieldList);
    if (logHasCheck())
        fields += QStringLiteral(", ") + conversionlog::checkFields().join(QStringLiteral(", "));
    Statement q =
        m_db.prepare(QStringLiteral("SELECT %1 FROM %2 %3").arg(fields, QLatin1String(conversionTableName), where));
    bindAll(q.get(), params);
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        QList<QVariant> row;
        for (int i = 0; i < sqlite3_column_count(q.get()); ++i) {
            switch (sqlite3_column_type(q.get(), i)) {
            case SQLITE_NULL: row << QVariant(); break;
            case SQLITE_INTEGER: row << QVariant(qint64(sqlite3_column_int64(q.get(), i))); break;
            default:
                row << QVariant(columnText(q.get(), i, m_text.utf8()));
            }
        }
        out.push_back(conversionlog::fromFields(row));
    }
    if (rc != SQLITE_DONE)
        throw m_db.error(rc);
    return out;
}

qint64 SqliteStore::logRun(const Conversion &entry)
{
    if (!m_db.isOpen() || !m_inRun)
        throw Error::of(err::ObjectInvalid);
    checkRunStands();
    keepTableChecks(); // the run's records are in; nothing after them goes without the table's CHECKs
    Conversion c = entry;
    c.records = m_pending;
    std::tie(c.firstKey, c.lastKey) = m_runKeys;
    QString fields = QString::fromLatin1(conversionlog::fieldList).mid(4);
    QList<QVariant> values = conversionlog::fieldValues(c);
    // The check of the run's shares goes in with its entry, in the run's transaction.
    if (c.shares) {
        if (!logHasCheck())
            for (const QString &field : conversionlog::checkFields())
                m_db.exec(conversionlog::addCheckColumn(field));
        fields += QStringLiteral(", ") + conversionlog::checkFields().join(QStringLiteral(", "));
        values += conversionlog::checkValues(*c.shares);
    }
    QStringList marks(values.size(), QStringLiteral("?"));
    Statement q = m_db.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                   .arg(QLatin1String(conversionTableName), fields, marks.join(u',')));
    bindAll(q.get(), values);
    if (const int rc = sqlite3_step(q.get()); rc != SQLITE_DONE) {
        const Error e = m_db.error(rc);
        afterFailure();
        throw e;
    }
    return sqlite3_last_insert_rowid(m_db.handle());
}

// A write of its own, outside any run, holding the write lock until it is committed or let go.
Transaction SqliteStore::writeTransaction()
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is in progress.").arg(m_path));
    commitPending();
    waitForWriteLock([](bool) {});
    Transaction t = std::move(*m_transaction);
    m_transaction.reset();
    return t;
}

qint64 SqliteStore::undoConversion(qint64 id, const QString &by)
{
    checkStillNamed(-1);
    Transaction undo = writeTransaction();
    const std::vector<Conversion> log = readLog(QLatin1String(conversionlog::oldestFirst), {});
    const Conversion c = conversionlog::toUndo(log, id, m_path);
    const qint64 present =
        c.records <= 0
            ? 0
            : scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE rowid BETWEEN %2 AND ?").arg(table).arg(c.firstKey),
                     c.lastKey);
    if (const QString refusal = conversionlog::undoRefusal(c, present, log, m_path); !refusal.isEmpty())
        throw Error(err::UndoRefused, refusal);
    if (c.records > 0)
        m_db.exec(
            QStringLiteral("DELETE FROM %1 WHERE rowid BETWEEN %2 AND %3").arg(table).arg(c.firstKey).arg(c.lastKey));
    Statement mark = m_db.prepare(QStringLiteral("UPDATE %1 SET undone_at = ?, undone_by = ? WHERE id = ?")
                                      .arg(QLatin1String(conversionTableName)));
    bindAll(mark.get(), {conversionlog::nowUtc(), by, id});
    if (const int rc = sqlite3_step(mark.get()); rc != SQLITE_DONE)
        throw m_db.error(rc);
    mark = Statement();
    checkStillNamed(0);
    undo.commit();
    return present;
}

void SqliteStore::readSnapshot(const std::function<void()> &work)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_db.inTransaction()) {
        work();
        return;
    }
    // A deferred transaction: its first read fixes what every later one sees.
    Transaction snapshot(m_db, Transaction::Kind::Deferred);
    work();
    snapshot.commit();
}

} // namespace zefto::sqlite

namespace zefto::sqlite {

std::shared_ptr<Store> openSqliteStore(const QString &path, Missing missing, const StoreOptions &options)
{
    return SqliteStore::open(path, missing, options);
}

} // namespace zefto::sqlite
