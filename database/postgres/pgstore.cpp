#include "pgstore.h"

#include "browse.h"
#include "conversion.h"
#include "location.h"
#include "postgresbackend.h"
#include "schema.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QVariant>

namespace zefto::postgres {
namespace {

// How often a run that waits for the write lock tries again (and lets a window paint).
constexpr int lockRetryMs = 20;

const QString table = QLatin1String(schema::tableName);

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

Value valueOf(const QVariant &v)
{
    if (v.isNull())
        return Value::null();
    if (v.typeId() == QMetaType::QString)
        return Value::text(v.toString());
    return Value::number(v.toDouble());
}

} // namespace

// Commit strategy. A conversion run is one transaction that takes
// LOCK TABLE ovrekson IN SHARE ROW EXCLUSIVE MODE before its first
// read-back and holds it to the run's end: other writers (conversions
// included) wait, readers never do, a run's records are contiguous and the
// table's last record is the run's own once it stored one. So the table's
// last record is read once, when the lock is taken, and after that the
// record appended last is kept in memory. The records go to the server
// through one COPY per run (many records per round trip); the server's
// verdict on them comes when the COPY ends, at the commit. Any server error
// aborts the whole transaction there, so records the run must refuse
// (zero-length text) are refused here before anything of them is sent.
// Records added outside a run get a transaction of their own that takes the
// same lock, committed by commitPending and at close.
std::shared_ptr<PostgresStore> PostgresStore::open(const Address &address, const StoreOptions &options)
{
    std::shared_ptr<PostgresStore> store(new PostgresStore(address, options));
    try {
        store->m_connection.open(options.busyTimeoutMs);
        store->m_table = options.readOnly ? checkTable(store->m_connection) : prepareTable(store->m_connection);
    } catch (const Error &) {
        store->m_connection.close();
        throw;
    }
    return store;
}

PostgresStore::~PostgresStore()
{
    try {
        close();
    } catch (const Error &) {
        // Nothing can be reported from a destructor; the server keeps only committed records.
    }
}

void PostgresStore::close()
{
    if (!isOpen())
        return;
    std::optional<Error> failure;
    // A run not committed by its end is not kept: runs are whole or absent.
    rollbackRun();
    try {
        commitPending();
    } catch (const Error &e) {
        failure = e;
    }
    m_connection.close();
    if (failure)
        throw *failure;
}

QString PostgresStore::keyName() const
{
    return quoted(m_table.columns[m_table.key]);
}

Record PostgresStore::recordOf(const QSqlQuery &q) const
{
    Record r(m_table.columns.size(), Value::null());
    const int n = std::min<int>(q.record().count(), int(r.size()));
    for (int i = 0; i < n; ++i)
        r[i] = valueOf(q.value(i));
    return r;
}

std::optional<Record> PostgresStore::lastRecord()
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inTransaction)
        return m_last;
    QSqlQuery q = m_connection.exec(QStringLiteral("SELECT * FROM %1 ORDER BY %2 DESC LIMIT 1").arg(table, keyName()));
    if (!q.next())
        return std::nullopt;
    return recordOf(q);
}

void PostgresStore::readLastRecord()
{
    QSqlQuery q = m_connection.exec(QStringLiteral("SELECT * FROM %1 ORDER BY %2 DESC LIMIT 1").arg(table, keyName()));
    m_last.reset();
    m_keyBefore = 0;
    if (q.next()) {
        m_last = recordOf(q);
        m_keyBefore = q.value(m_table.key).toLongLong();
    }
}

std::optional<Failure> PostgresStore::tryLock(bool wait)
{
    // The driver reports only the first result of several statements: one at a time.
    std::optional<Failure> f = m_connection.tryExec(QStringLiteral("BEGIN"));
    if (!f)
        f = m_connection.tryExec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE%2")
                                     .arg(table, wait ? QString() : QStringLiteral(" NOWAIT")));
    if (f && m_connection.alive())
        m_connection.tryExec(QStringLiteral("ROLLBACK"));
    return f;
}

// A run waits in short steps, so the caller can paint, report and give up;
// records added outside a run wait as any statement does (lock_timeout).
void PostgresStore::beginTransaction(const WaitCallback *whileWaiting)
{
    QElapsedTimer waited;
    waited.start();
    for (bool first = true;; first = false) {
        const std::optional<Failure> f = tryLock(whileWaiting == nullptr);
        if (!f)
            break;
        if (f->sqlstate != QLatin1String("55P03") || f->connectionLost || !whileWaiting)
            throw m_connection.error(*f);
        if (waited.elapsed() >= m_options.lockWaitMs)
            throw Error(err::FileInUse, QStringLiteral("The database '%1' is in use by another program, which held its "
                                                       "write lock for %2 s; nothing was stored.")
                                            .arg(name())
                                            .arg(m_options.lockWaitMs / 1000.0));
        (*whileWaiting)(first);
        QThread::msleep(lockRetryMs);
    }
    m_inTransaction = true;
    m_pending = 0;
    m_runKeys = {0, 0};
    try {
        readLastRecord();
    } catch (const Error &e) {
        failed(e);
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
            throw Error(err::ZeroLengthString, QStringLiteral("Field '%1' cannot be a zero-length string.").arg(column));
        bool number = true;
        if (v.isText() && m_table.numeric[i])
            v.asText().trimmed().toDouble(&number);
        if (!number)
            throw Error(err::DataTypeConversion,
                        QStringLiteral("Data type conversion error: the field '%1' holds numbers, not the text '%2'.")
                            .arg(column, v.asText()));
        if (int(i) == m_table.key)
            throw Error(err::DataTypeConversion,
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
    if (!m_inTransaction)
        beginTransaction(nullptr);
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
        throw Error(e.number(), e.description() + QStringLiteral(" The transaction was rolled back; none of its %1 "
                                                                 "records were stored.")
                                                      .arg(lost));
    throw e;
}

// Ends the COPY and asks the server which keys the transaction's records got.
void PostgresStore::settleRunKeys()
{
    m_copy.finish();
    if (m_pending > 0) {
        QSqlQuery q = m_connection.exec(QStringLiteral("SELECT min(%1), max(%1), count(*) FROM %2 WHERE %1 > %3")
                                            .arg(keyName(), table)
                                            .arg(m_keyBefore));
        q.next();
        m_runKeys = {q.value(0).toLongLong(), q.value(1).toLongLong()};
        // The server's count is the one to tell.
        m_stored += q.value(2).toLongLong() - m_pending;
        m_pending = q.value(2).toLongLong();
    }
}

void PostgresStore::commitTransaction()
{
    try {
        settleRunKeys();
    } catch (const Error &e) {
        failed(e);
    }
    const std::optional<Failure> f = m_connection.tryExec(QStringLiteral("COMMIT"));
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
    m_last.reset();
    m_runKeys = {0, 0};
}

void PostgresStore::commitPending()
{
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
    commitPending();
    beginTransaction(&whileWaiting);
    m_inRun = true;
    try {
        // Under the table lock every run takes, so two clients never create it at once.
        QSqlQuery exists = m_connection.exec(
            QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(QLatin1String(conversionTableName)));
        if (!exists.next() || !exists.value(0).toBool())
            m_connection.exec(conversionlog::createStatement(true));
    } catch (const Error &e) {
        failed(e);
    }
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
    QSqlQuery q = m_connection.exec(sql);
    while (q.next())
        each(recordOf(q));
}

qint64 PostgresStore::countRecords(KeyRange within)
{
    finishCopy();
    QSqlQuery q = m_connection.exec(browse::countStatement(keyName(), within));
    return q.next() ? q.value(0).toLongLong() : 0;
}

std::optional<qint64> PostgresStore::keyAt(KeyRange within, qint64 from, qint64 offset, bool down)
{
    finishCopy();
    QSqlQuery q = m_connection.exec(browse::keyAtStatement(keyName(), within, from, offset, down));
    if (!q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
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

bool PostgresStore::logHasCheck()
{
    QSqlQuery q = m_connection.exec(QStringLiteral("SELECT count(*) FROM pg_attribute WHERE attrelid = to_regclass('%1') "
                                                   "AND attname = '%2' AND NOT attisdropped")
                                        .arg(QLatin1String(conversionTableName), conversionlog::checkFields().constFirst()));
    return q.next() && q.value(0).toLongLong() > 0;
}

std::vector<Conversion> PostgresStore::readLog(const QString &where, const QList<QVariant> &params)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    std::vector<Conversion> out;
    QSqlQuery exists = m_connection.exec(
        QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(QLatin1String(conversionTableName)));
    if (!exists.next() || !exists.value(0).toBool())
        return out;
    QString fields = QLatin1String(conversionlog::fieldList);
    if (logHasCheck())
        fields += QStringLiteral(", ") + conversionlog::checkFields().join(QStringLiteral(", "));
    QSqlQuery q = m_connection.exec(
        QStringLiteral("SELECT %1 FROM %2 %3").arg(fields, QLatin1String(conversionTableName), where), params);
    while (q.next()) {
        QList<QVariant> row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        out.push_back(conversionlog::fromFields(row));
    }
    return out;
}

qint64 PostgresStore::logRun(const Conversion &entry)
{
    if (!isOpen() || !m_inRun)
        throw Error::of(err::ObjectInvalid);
    try {
        settleRunKeys();
        Conversion c = entry;
        c.records = m_pending;
        std::tie(c.firstKey, c.lastKey) = m_runKeys;
        QSqlQuery q = m_connection.exec(QStringLiteral("INSERT INTO %1(%2) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
                                                       "RETURNING id")
                                            .arg(QLatin1String(conversionTableName),
                                                 QString::fromLatin1(conversionlog::fieldList).mid(4)),
                                        conversionlog::fieldValues(c));
        q.next();
        return q.value(0).toLongLong();
    } catch (const Error &e) {
        failed(e);
    }
}

qint64 PostgresStore::undoConversion(qint64 id, const QString &by)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is in progress.").arg(name()));
    commitPending();
    // The lock every run takes: no run adds records or log entries meanwhile.
    beginTransaction(nullptr);
    try {
        const std::vector<Conversion> found = readLog(QStringLiteral("WHERE id = ?"), {id});
        if (found.empty())
            throw Error(err::ItemNotFound, conversionlog::unknownConversion(id, name()));
        const Conversion &c = found.front();
        qint64 present = 0;
        if (c.records > 0) {
            QSqlQuery q = m_connection.exec(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 BETWEEN %3 AND %4")
                                                .arg(table, keyName())
                                                .arg(c.firstKey)
                                                .arg(c.lastKey));
            q.next();
            present = q.value(0).toLongLong();
        }
        if (const QString refusal = conversionlog::undoRefusal(c, present, name()); !refusal.isEmpty())
            throw Error(err::UndoRefused, refusal);
        if (c.records > 0)
            m_connection.exec(QStringLiteral("DELETE FROM %1 WHERE %2 BETWEEN %3 AND %4")
                                  .arg(table, keyName())
                                  .arg(c.firstKey)
                                  .arg(c.lastKey));
        m_connection.exec(QStringLiteral("UPDATE %1 SET undone_at = ?, undone_by = ? WHERE id = ?")
                              .arg(QLatin1String(conversionTableName)),
                          {conversionlog::nowUtc(), by, id});
        commitTransaction();
        return present;
    } catch (const Error &) {
        rollbackTransaction();
        throw;
    }
}

void PostgresStore::logCheck(qint64 id, const ShareTally &tally)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is in progress.").arg(name()));
    commitPending();
    m_connection.exec(QStringLiteral("BEGIN"));
    try {
        if (!logHasCheck())
            for (const QString &field : conversionlog::checkFields())
                m_connection.exec(conversionlog::addCheckColumn(field, true));
        m_connection.exec(conversionlog::checkUpdateStatement(), conversionlog::checkValues(tally) << QVariant(id));
        m_connection.exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        if (m_connection.alive())
            m_connection.tryExec(QStringLiteral("ROLLBACK"));
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
    // The database itself is the office's to create; its table is ours.
    return PostgresStore::open(*a, options);
}

} // namespace zefto::postgres
