#include "pgstore.h"

#include "browse.h"
#include "conversion.h"
#include "location.h"
#include "postgresbackend.h"
#include "schema.h"

#include <QElapsedTimer>
#include <QThread>
#include <QVariant>
#include <limits>

namespace zefto::postgres {
namespace {

// How often a run that waits for the write lock tries again (and lets a window paint).
constexpr int lockRetryMs = 20;

const QString table = QLatin1String(schema::tableName);

// The group roles database/postgres/roles.sql makes, named in refusals.
constexpr auto clerkRole = "zefto_clerk";
constexpr auto supervisorRole = "zefto_supervisor";

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Zefto's half of the advisory lock's key; the table's oid is the other half.
constexpr int runLockKey = 0x5a656674; // "Zeft"

QString runLockCall(bool wait)
{
    return QStringLiteral("pg_%1advisory_xact_lock(%2, to_regclass('%3')::oid::int)")
        .arg(wait ? QString() : QStringLiteral("try_"))
        .arg(runLockKey)
        .arg(table);
}

QString runLock(bool wait)
{
    return QStringLiteral("SELECT ") + runLockCall(wait);
}

// The error a run opened ahead ends its message with when it may not go on
// yet; ours alone (a class no server uses).
constexpr auto notAheadState = "ZF001";

// A number as the server writes it; its words for the infinities and NaN are its own.
double serverNumber(const QString &text)
{
    if (text == QLatin1String("Infinity"))
        return std::numeric_limits<double>::infinity();
    if (text == QLatin1String("-Infinity"))
        return -std::numeric_limits<double>::infinity();
    if (text == QLatin1String("NaN"))
        return std::numeric_limits<double>::quiet_NaN();
    return text.toDouble();
}

// The fields the page converter sets: what a run's COPY is started for before its first record.
std::vector<bool> converterFields(const QStringList &columns)
{
    std::vector<bool> given(columns.size(), false);
    for (qsizetype i = 0; i < columns.size(); ++i)
        given[i] = schema::fieldNames().contains(columns[i]);
    return given;
}

} // namespace

// Commit strategy. A conversion run is one transaction that takes a
// transaction-level advisory lock keyed on ovrekson before its first
// read-back and holds it to the run's end. Every run and every undo takes it,
// so runs never interleave, a run's records are contiguous and the table's
// last record is the run's own once it stored one; readers never wait. Unlike
// LOCK TABLE in a mode that keeps writers out, it needs no privilege beyond
// the clerk's SELECT and INSERT. So the table's last record is read once,
// with the lock, and after that the record appended last is kept in memory.
// Over an office link round trips cost, not statements: the duplicate
// guard's question opens the run ahead, sending the lock, the read-back, the
// guard and the start of the run's one COPY in one message; the COPY's end is
// one round trip, the log entry (its counts and keys taken by the server) and
// the COMMIT another.
// The server's verdict on the records comes when the COPY ends; any server
// error aborts the whole transaction there, so records the run must refuse
// (zero-length text) are refused here before anything of them is sent.
// Records added outside a run get a transaction of their own that takes the
// same lock, committed by commitPending and at close.
std::shared_ptr<PostgresStore> PostgresStore::open(const Address &address, const StoreOptions &options)
{
    std::shared_ptr<PostgresStore> store(new PostgresStore(address, options));
    try {
        store->m_connection.open(options.busyTimeoutMs);
        store->m_table = options.readOnly ? checkTable(store->m_connection, &store->m_facts)
                                          : prepareTable(store->m_connection, &store->m_facts);
    } catch (const Error &) {
        store->m_connection.close();
        throw;
    }
    return store;
}

PostgresStore::~PostgresStore()
{
    closeInDestructor(*this);
}

void PostgresStore::close()
{
    if (isOpen())
        finishThenRelease([this] { m_connection.close(); });
}

QString PostgresStore::keyName() const
{
    return quoted(m_table.columns[m_table.key]);
}

Record PostgresStore::recordOf(const QVariantList &row) const
{
    Record r(m_table.columns.size(), Value::null());
    const int n = std::min<int>(int(row.size()), int(r.size()));
    for (int i = 0; i < n; ++i) {
        if (row[i].isNull())
            continue;
        r[i] = m_table.numeric[i] ? Value::number(serverNumber(row[i].toString())) : Value::text(row[i].toString());
    }
    return r;
}

std::optional<Record> PostgresStore::lastRecord()
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inTransaction)
        return m_last;
    finishCopy();
    const Rows rows = m_connection.exec(lastRecordStatement());
    if (rows.isEmpty())
        return std::nullopt;
    return recordOf(rows.front());
}

QString PostgresStore::lastRecordStatement() const
{
    return QStringLiteral("SELECT * FROM %1 ORDER BY %2 DESC LIMIT 1").arg(table, keyName());
}

// The statements a run sends with its lock: the log made when missing (by
// whoever holds the lock), the read-back, the guard, the COPY's start.
QString PostgresStore::runOpening() const
{
    QString sql;
    if (!m_facts.hasLog)
        sql += QStringLiteral(
                   ";DO $$BEGIN IF pg_try_advisory_xact_lock(%1, to_regclass('%2')::oid::int) AND "
                   "to_regclass('%3') IS NULL THEN %4; END IF; END$$")
                   .arg(runLockKey)
                   .arg(table, QLatin1String(conversionTableName), conversionlog::createStatement(true));
    sql += u';' + lastRecordStatement();
    if (!m_guardSha.isEmpty())
        sql +=
            u';'
            + logQuery(
                QString::fromLatin1(conversionlog::latestStillStored).replace(u'?', Connection::literal(m_guardSha)));
    return sql + u';' + copyStatement(table, m_table.columns, converterFields(m_table.columns));
}

// One attempt at opening the transaction with the lock and `more`: true when
// both are ours. Otherwise nothing is left open; `failure` tells why, when the
// server refused (a lock only tried and held by another is no failure).
bool PostgresStore::tryBegin(bool onlyTry, const QString &more, Batch *b, std::optional<Failure> *failure)
{
    *failure = m_connection.tryBatch(QStringLiteral("BEGIN;") + runLock(!onlyTry) + more, b);
    // Without the lock, what followed it may have failed on what the holder has not committed yet.
    const bool refused = onlyTry && !b->rows.empty() && b->rows.front().at(0).at(0).toString() != u't';
    if (refused)
        failure->reset();
    if (!*failure && !refused) {
        began();
        b->rows.erase(b->rows.begin());
        return true;
    }
    if (b->copying) {
        m_copy.adopt({});
        m_copy.abandon();
    }
    if (m_connection.alive())
        m_connection.tryExec(QStringLiteral("ROLLBACK"));
    return false;
}

// Opens the transaction with the lock and `more` (statements after a ';'),
// in one round trip; hands back the rows of `more`. A run waits in short
// steps, so the caller can paint, report and give up; anything else waits as
// any statement does (lock_timeout).
Batch PostgresStore::beginTransaction(const WaitCallback *whileWaiting, const QString &more)
{
    const bool run = whileWaiting != nullptr;
    QElapsedTimer waited;
    waited.start();
    Batch b;
    for (bool first = true;; first = false) {
        std::optional<Failure> f;
        if (tryBegin(run, more, &b, &f))
            return b;
        if (f && (f->sqlstate != QLatin1String("55P03") || f->connectionLost || !run))
            throw m_connection.error(*f);
        if (waited.elapsed() >= m_options.lockWaitMs)
            throw Error(err::FileInUse, QStringLiteral("The database '%1' is in use by another program, which held its "
                                                       "write lock for %2 s; nothing was stored.")
                                            .arg(name())
                                            .arg(m_options.lockWaitMs / 1000.0));
        (*whileWaiting)(first);
        QThread::msleep(lockRetryMs);
    }
}

void PostgresStore::began()
{
    m_inTransaction = true;
    m_pending = 0;
    m_runKeys = {0, 0};
    m_keysKnown = false;
}

// The duplicate guard's question, asked by a store that may convert, opens
// the run ahead in its own round trip: the guard, the lock, the read-back and
// the COPY's start, which beginRun then finds done. They run in the
// message's implicit transaction; when the report was converted before (the
// operator may be asked) or the lock is another's (the run waits for it
// later), our error ends that transaction, so nothing is held and nothing
// needs ending, and the guard read before it answers. Otherwise the lock is
// ours before the read-back, the guard asked again under it found nothing,
// and BEGIN makes the transaction the run's.
std::optional<std::vector<Conversion>> PostgresStore::openAhead(const QString &sha256)
{
    if (m_options.readOnly || m_inTransaction || m_inSnapshot || !m_facts.hasLog || !m_facts.mayInsert
        || !m_facts.mayLog)
        return std::nullopt;
    const QString guard =
        QString::fromLatin1(conversionlog::latestStillStored).replace(u'?', Connection::literal(sha256));
    const QString sql =
        logQuery(guard)
        + QStringLiteral(
              ";DO $$BEGIN IF NOT %1 OR EXISTS (SELECT FROM %2 %3) THEN RAISE EXCEPTION 'Zefto opens no run yet: "
              "the report was converted before, or another run holds the lock' USING ERRCODE = '%4'; END IF; "
              "END$$;")
              .arg(runLockCall(false), QLatin1String(conversionTableName), guard, QLatin1String(notAheadState))
        + lastRecordStatement() + QStringLiteral(";BEGIN;")
        + copyStatement(table, m_table.columns, converterFields(m_table.columns));
    Batch b;
    const std::optional<Failure> f = m_connection.tryBatch(sql, &b);
    if (b.copying) {
        began();
        keepLastRecord(b.rows.at(1));
        m_copy.adopt(converterFields(m_table.columns));
        m_ahead = true;
        m_guard = Guard{sha256, std::nullopt}; // the run asks again under the lock it already holds
        return std::vector<Conversion>{};
    }
    if (!f || f->sqlstate != QLatin1String(notAheadState) || b.rows.empty()) {
        if (m_connection.alive())
            m_connection.tryExec(QStringLiteral("ROLLBACK"));
        return std::nullopt; // asked again plainly, which tells a failure as it always did
    }
    if (b.rows.front().isEmpty())
        return std::vector<Conversion>{};
    return std::vector<Conversion>{logEntry(b.rows.front().front())};
}

// A run opened ahead that something else than its run comes to: taken back, lock and all.
void PostgresStore::dropAhead()
{
    if (m_ahead)
        rollbackTransaction();
}

// Takes the read-back of the transaction's first round trip.
void PostgresStore::keepLastRecord(const Rows &rows)
{
    m_last.reset();
    m_keyBefore = 0;
    if (!rows.isEmpty()) {
        m_last = recordOf(rows.front());
        m_keyBefore = rows.front().at(m_table.key).toLongLong();
    }
}

void PostgresStore::checkValues(const Record &values, const std::vector<bool> &given) const
{
    const QStringList &fields = schema::fieldNames();
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i])
            continue;
        const Value &v = values[i];
        const QString &column = m_table.columns[int(i)];
        // A server error would abort the whole run: refuse here what the table's checks refuse.
        if (v.isText() && v.asText().isEmpty() && fields.indexOf(column) >= 0
            && fields.indexOf(column) < schema::requiredTextFields)
            throw Error(err::ZeroLengthString,
                        QStringLiteral("Field '%1' cannot be a zero-length string.").arg(column));
        bool number = true;
        if (v.isText() && m_table.numeric[i])
            v.asText().trimmed().toDouble(&number);
        if (!number)
            throw Error(err::DataTypeConversion,
                        QStringLiteral("Data type conversion error: the field '%1' holds numbers, not the text '%2'.")
                            .arg(column, v.asText()));
        if (int(i) == m_table.key)
            throw Error(
                err::DataTypeConversion,
                QStringLiteral("Data type conversion error: the key '%1' is given by the database.").arg(column));
    }
}

// The record as the table holds it once stored; its key is not known before the commit.
Record PostgresStore::stored(const Record &values, const std::vector<bool> &given) const
{
    Record r(m_table.columns.size(), Value::null());
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i] || values[i].isUnset() || values[i].isNull())
            continue;
        const Value &v = values[i];
        if (v.isText() && m_table.numeric[i])
            r[i] = Value::number(v.asText().trimmed().toDouble());
        else if (v.isDouble() && !m_table.numeric[i]) {
            QByteArray line;
            appendCopyLine(line, {v}, {true});
            r[i] = Value::text(QString::fromUtf8(line.chopped(1)));
        } else
            r[i] = v;
    }
    return r;
}

void PostgresStore::append(const Record &values, const std::vector<bool> &given)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    checkValues(values, given);
    dropAhead();
    if (!m_inTransaction)
        keepLastRecord(beginTransaction(nullptr, u';' + lastRecordStatement()).rows.at(0));
    try {
        if (m_copy.isOpen() && m_copy.given() != given)
            m_copy.finish();
        if (!m_copy.isOpen())
            m_copy.start(table, m_table.columns, given);
        m_copy.put(values);
    } catch (const Error &e) {
        failed(e);
    }
    m_last = stored(values, given);
    ++m_pending;
    ++m_stored;
}

void PostgresStore::failed(const Error &e)
{
    const qint64 lost = m_pending;
    rollbackTransaction();
    if (e.number() == err::ConnectionFailed && lost > 0)
        throw Error(e.number(), e.description()
                                    + QStringLiteral(" The transaction was rolled back; none of its %1 "
                                                     "records were stored.")
                                          .arg(lost));
    throw e;
}

// Ends the COPY and asks the server which keys the transaction's records got.
void PostgresStore::settleRunKeys()
{
    m_copy.finish();
    if (m_pending > 0 && !m_keysKnown) {
        const Rows rows = m_connection.exec(QStringLiteral("SELECT min(%1), max(%1), count(*) FROM %2 WHERE %1 > %3")
                                                .arg(keyName(), table)
                                                .arg(m_keyBefore));
        const QVariantList &row = rows.at(0);
        m_runKeys = {row[0].toLongLong(), row[1].toLongLong()};
        // The server's count is the one to tell.
        m_stored += row[2].toLongLong() - m_pending;
        m_pending = row[2].toLongLong();
    }
}

void PostgresStore::commitTransaction()
{
    try {
        settleRunKeys();
    } catch (const Error &e) {
        failed(e);
    }
    commitWith(QString());
}

// Sends `first` (statements each ending in ';', or nothing) and the COMMIT in
// one message; hands back the rows of `first`. The notification listeners
// wait for goes in the same message and is delivered with the commit.
Batch PostgresStore::commitWith(const QString &first)
{
    Batch b;
    const std::optional<Failure> f = m_connection.tryBatch(
        first + QStringLiteral("NOTIFY %1;COMMIT").arg(QLatin1String(changeChannel)), &b);
    if (f && f->connectionLost) {
        // The commit may or may not have reached the server: never claim a count it did not confirm.
        const qint64 unknown = m_pending;
        rollbackTransaction();
        throw Error(err::ConnectionFailed,
                    QStringLiteral("The connection to the database server of '%1' was lost while %2 records were being "
                                   "committed: %3. Whether the server kept them is not known; look in the table before "
                                   "converting the report again.")
                        .arg(name())
                        .arg(unknown)
                        .arg(f->message));
    }
    if (f)
        failed(m_connection.error(*f));
    m_inTransaction = false;
    m_inRun = false;
    m_pending = 0;
    m_last.reset();
    m_guard.reset();
    return b;
}

void PostgresStore::rollbackTransaction() noexcept
{
    m_copy.abandon();
    if (m_inTransaction && m_connection.alive())
        m_connection.tryExec(QStringLiteral("ROLLBACK"));
    m_stored -= m_pending;
    m_pending = 0;
    m_inTransaction = false;
    m_inRun = false;
    m_ahead = false;
    m_last.reset();
    m_runKeys = {0, 0};
    m_guard.reset();
}

void PostgresStore::commitPending()
{
    dropAhead();
    if (m_inRun || !isOpen() || !m_inTransaction)
        return; // the run commits its records as one
    commitTransaction();
}

void PostgresStore::beginRun(const WaitCallback &whileWaiting)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is already in progress.").arg(name()));
    if (!m_facts.mayInsert)
        throw refused(QStringLiteral("convert into"), QStringLiteral("INSERT on %1").arg(table), clerkRole);
    if (m_facts.hasLog && !m_facts.mayLog)
        throw refused(QStringLiteral("convert into"),
                      QStringLiteral("INSERT on %1").arg(QLatin1String(conversionTableName)), clerkRole);
    if (!m_facts.hasLog && !m_facts.mayCreate)
        throw Error(
            err::CannotOpen,
            QStringLiteral("Cannot convert into '%1': its log %2 is missing and the role '%3' may not create it. "
                           "The database's owner can create it with database/postgres/roles.sql.")
                .arg(name(), QLatin1String(conversionTableName), m_facts.role));
    if (std::exchange(m_ahead, false)) {
        m_inRun = true;
        return;
    }
    commitPending();
    const bool hadLog = m_facts.hasLog;
    const Batch b = beginTransaction(&whileWaiting, runOpening());
    m_inRun = true;
    // The lock is ours from here: every statement of the batch after it saw what the last holder committed.
    keepLastRecord(b.rows.at(0));
    if (!hadLog) {
        m_facts.hasLog = true;
        m_facts.mayLog = true; // the log is this role's own now, or the run would have failed
        m_facts.logHasCheck = m_facts.mayLogCheck = true; // made with the check's columns
    }
    if (!m_guardSha.isEmpty())
        m_guard =
            Guard{m_guardSha, b.rows.at(1).isEmpty() ? std::nullopt : std::optional(logEntry(b.rows.at(1).front()))};
    if (b.copying)
        m_copy.adopt(converterFields(m_table.columns));
}

void PostgresStore::commitRun()
{
    if (!isOpen() || !m_inRun)
        return;
    commitTransaction();
}

void PostgresStore::rollbackRun() noexcept
{
    if (!m_inRun)
        return;
    rollbackTransaction();
}

void PostgresStore::readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each)
{
    finishCopy();
    for (const auto &[first, last] : ranges) {
        if (first <= 0)
            continue;
        eachRow(QStringLiteral("SELECT * FROM %1 WHERE %2 BETWEEN %3 AND %4 ORDER BY %2")
                    .arg(table, keyName())
                    .arg(first)
                    .arg(last),
                each);
    }
}

void PostgresStore::finishCopy()
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    dropAhead();
    if (m_copy.isOpen()) {
        try {
            m_copy.finish();
        } catch (const Error &e) {
            failed(e);
        }
    }
}

void PostgresStore::eachRow(const QString &sql, const std::function<void(const Record &)> &each)
{
    m_connection.eachRow(sql, [&](const QVariantList &row) { each(recordOf(row)); });
}

qint64 PostgresStore::countRecords(KeyRange within)
{
    finishCopy();
    const Rows rows = m_connection.exec(browse::countStatement(keyName(), within));
    return rows.isEmpty() ? 0 : rows.front().at(0).toLongLong();
}

std::optional<qint64> PostgresStore::keyAt(KeyRange within, qint64 from, qint64 offset, bool down)
{
    finishCopy();
    const Rows rows = m_connection.exec(browse::keyAtStatement(keyName(), within, from, offset, down));
    if (rows.isEmpty())
        return std::nullopt;
    return rows.front().at(0).toLongLong();
}

void PostgresStore::readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each)
{
    finishCopy();
    eachRow(browse::afterStatement(keyName(), within, after, limit), each);
}

void PostgresStore::readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each)
{
    finishCopy();
    eachRow(browse::keysStatement(keyName(), keys), each);
}

QString PostgresStore::logQuery(const QString &where) const
{
    // A log from before the server's identity was recorded reads it as empty.
    QString fields = QLatin1String(conversionlog::fieldList);
    if (m_facts.logHasCheck)
        fields += QStringLiteral(", ") + conversionlog::checkFields().join(QStringLiteral(", "));
    return QStringLiteral("SELECT %1, %2 FROM %3 %4")
        .arg(fields, m_facts.logHasRole ? QStringLiteral("role_name") : QStringLiteral("NULL::text"),
             QLatin1String(conversionTableName), where);
}

Conversion PostgresStore::logEntry(const QVariantList &row)
{
    Conversion c = conversionlog::fromFields(row.mid(0, row.size() - 1));
    c.role = row.last().toString();
    return c;
}

std::vector<Conversion> PostgresStore::readLog(const QString &where, const QList<QVariant> &params)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (where == QLatin1String(conversionlog::latestStillStored) && params.size() == 1) {
        const QString sha256 = params.front().toString();
        if (m_guard && m_guard->sha256 == sha256) {
            const std::optional<Conversion> found = std::exchange(m_guard, std::nullopt)->found;
            return found ? std::vector<Conversion>{*found} : std::vector<Conversion>{};
        }
        // Remembered so that a run asks it again under its lock, in the lock's round trip.
        m_guardSha = sha256;
        finishCopy();
        if (std::optional<std::vector<Conversion>> answer = openAhead(sha256))
            return *answer;
    }
    finishCopy();
    std::vector<Conversion> out;
    if (!m_facts.hasLog)
        return out;
    const Rows rows = m_connection.exec(logQuery(where), params);
    for (const QVariantList &row : rows)
        out.push_back(logEntry(row));
    return out;
}

// The log entry goes in with the run's count and keys as the server counts
// them, and the run commits with it in the same round trip (commitRun then has
// nothing left to send); the reply tells them, and the entry's id.
qint64 PostgresStore::logRun(const Conversion &entry)
{
    if (!isOpen() || !m_inRun)
        throw Error::of(err::ObjectInvalid);
    QStringList columns, selected;
    try {
        m_copy.finish();
        const QStringList names = QString::fromLatin1(conversionlog::fieldList).split(QStringLiteral(", ")).mid(1);
        const QList<QVariant> values = conversionlog::fieldValues(entry);
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &n = names[i];
            // A NULL is left to the table, so a clerk needs INSERT on no column an undo marks (roles.sql).
            if (values[i].isNull() && !n.endsWith(QLatin1String("_key")))
                continue;
            columns << n;
            if (n == QLatin1String("records"))
                selected << QStringLiteral("count(*)");
            else if (n == QLatin1String("first_key"))
                selected << QStringLiteral("min(%1)").arg(keyName());
            else if (n == QLatin1String("last_key"))
                selected << QStringLiteral("max(%1)").arg(keyName());
            else
                selected << Connection::literal(values[i].toString());
        }
        // The run's check in the same INSERT; a log without its columns, or a role that may not fill them, goes
        // without.
        if (entry.shares && m_facts.logHasCheck && m_facts.mayLogCheck) {
            const QList<QVariant> counts = conversionlog::checkValues(*entry.shares);
            const QStringList fields = conversionlog::checkFields();
            for (qsizetype i = 0; i < counts.size(); ++i)
                if (!counts[i].isNull()) {
                    columns << fields[i];
                    selected << Connection::literal(counts[i].toString());
                }
        }
    } catch (const Error &e) {
        failed(e);
    }
    const qint64 sent = m_pending;
    const Batch b = commitWith(
        QStringLiteral("INSERT INTO %1(%2) SELECT %3 FROM %4 WHERE %5 > %6 RETURNING id, records, first_key, last_key;")
            .arg(QLatin1String(conversionTableName), columns.join(u','), selected.join(u','), table, keyName())
            .arg(m_keyBefore));
    const QVariantList &row = b.rows.at(0).at(0);
    // The server's count is the one to tell.
    m_stored += row[1].toLongLong() - sent;
    m_runKeys = {row[2].toLongLong(), row[3].toLongLong()};
    m_keysKnown = true;
    return row[0].toLongLong();
}

Error PostgresStore::refused(const QString &action, const QString &privilege, const char *groupRole) const
{
    return Error(err::ReadOnly,
                 QStringLiteral("Cannot %1 '%2': the role '%3' lacks the privilege %4. The owner of %5 ('%6') or a "
                                "superuser can grant it, for example: GRANT %7 TO \"%3\";")
                     .arg(action, name(), m_facts.role, privilege, table, m_facts.owner, QLatin1String(groupRole)));
}

void PostgresStore::checkMayUndo() const
{
    if (!m_facts.mayDelete)
        throw refused(QStringLiteral("undo conversions in"), QStringLiteral("DELETE on %1").arg(table), supervisorRole);
    if (m_facts.hasLog && !m_facts.mayMarkUndone)
        throw refused(QStringLiteral("undo conversions in"),
                      QStringLiteral("UPDATE on %1").arg(QLatin1String(conversionTableName)), supervisorRole);
}

qint64 PostgresStore::undoConversion(qint64 id, const QString &by)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is in progress.").arg(name()));
    checkMayUndo();
    commitPending();
    if (!m_facts.hasLog)
        throw Error(err::ItemNotFound, conversionlog::unknownConversion(id, name()));
    const QString range = QStringLiteral(
                              "%1 BETWEEN (SELECT first_key FROM %2 WHERE id = %3) AND "
                              "(SELECT last_key FROM %2 WHERE id = %3)")
                              .arg(keyName(), QLatin1String(conversionTableName))
                              .arg(id);
    // The lock every run takes: no run adds records or log entries meanwhile.
    // The whole log: an entry is undone only when no other live one covers its keys.
    const Batch b =
        beginTransaction(nullptr, u';' + logQuery(QLatin1String(conversionlog::oldestFirst))
                                      + QStringLiteral(";SELECT count(*) FROM %1 WHERE %2").arg(table, range));
    try {
        std::vector<Conversion> log;
        for (const auto &row : b.rows.at(0))
            log.push_back(logEntry(row));
        const Conversion c = conversionlog::toUndo(log, id, name());
        const qint64 present = c.records > 0 ? b.rows.at(1).at(0).at(0).toLongLong() : 0;
        if (const QString refusal = conversionlog::undoRefusal(c, present, log, name()); !refusal.isEmpty())
            throw Error(err::UndoRefused, refusal);
        m_connection.batch(
            QStringLiteral("DELETE FROM %1 WHERE %2;UPDATE %3 SET undone_at = %4, undone_by = %5 WHERE id = %6")
                .arg(table, range, QLatin1String(conversionTableName), Connection::literal(conversionlog::nowUtc()),
                     Connection::literal(by))
                .arg(id));
        commitTransaction();
        return present;
    } catch (const Error &) {
        rollbackTransaction();
        throw;
    }
}

void PostgresStore::readSnapshot(const std::function<void()> &work)
{
    finishCopy();
    if (m_inTransaction || m_inSnapshot) {
        work();
        return;
    }
    m_connection.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    m_inSnapshot = true;
    try {
        work();
    } catch (...) {
        m_inSnapshot = false;
        if (m_connection.alive())
            m_connection.tryExec(QStringLiteral("ROLLBACK"));
        throw;
    }
    m_inSnapshot = false;
    m_connection.exec(QStringLiteral("COMMIT"));
}

std::shared_ptr<Store> openPostgresStore(const QString &address, Missing, const StoreOptions &options)
{
    QString problem;
    const std::optional<Address> a = Address::parse(address, &problem);
    if (!a)
        throw Error(err::CannotOpen, QStringLiteral("'%1' is not a PostgreSQL address Zefto can use: %2.")
                                         .arg(location::shown(address), problem));
    // The database itself is the office's to create; its tables are ours or its (roles.sql).
    return PostgresStore::open(*a, options);
}

} // namespace zefto::postgres
