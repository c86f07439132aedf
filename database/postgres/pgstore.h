#pragma once

#include "copystream.h"
#include "pgconnection.h"
#include "loggedstore.h"
#include "pgdefinition.h"
#include "pgfilter.h"

namespace zefto::postgres {

// The records in the table ovrekson of a PostgreSQL database: statements
// through QtSql's QPSQL driver, the records themselves streamed with COPY.
class PostgresStore final : public LoggedStore {
public:
    static std::shared_ptr<PostgresStore> open(const Address &address, const StoreOptions &options);
    ~PostgresStore() override;

    QString name() const override { return m_connection.name(); }
    bool isOpen() const override { return m_connection.isOpen(); }
    void close() override;
    const QStringList &columns() const override { return m_table.columns; }
    std::optional<Record> lastRecord() override;
    void append(const Record &values, const std::vector<bool> &given) override;
    void commitPending() override;
    void beginRun(const WaitCallback &whileWaiting) override;
    void commitRun() override;
    void rollbackRun() noexcept override;
    bool inRun() const override { return m_inRun; }
    KeyRange runKeys() const override { return m_runKeys; }
    qint64 recordsStored() const override { return m_stored; }
    bool stillThere() const override { return m_connection.alive(); }
    void readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each) override;
    qint64 countRecords(KeyRange within) override;
    std::optional<qint64> keyAt(KeyRange within, qint64 from, qint64 offset, bool down) override;
    void readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each) override;
    void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each) override;
    // In pgfilter.cpp.
    void readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                      const std::function<void(const Record &)> &each) override;
    void matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                      const std::function<void(qint64 key)> &each) override;
    qint64 logRun(const Conversion &entry) override;
    void logCheck(qint64 id, const ShareTally &tally) override;
    void readSnapshot(const std::function<void()> &work) override;
    qint64 undoConversion(qint64 id, const QString &by) override;

private:
    PostgresStore(const Address &address, const StoreOptions &options)
        : m_connection(address), m_options(options) {}
    void beginTransaction(const WaitCallback *whileWaiting);
    std::optional<Failure> tryLock(bool wait);
    void readLastRecord();
    Record stored(const Record &values, const std::vector<bool> &given) const;
    void checkValues(const Record &values, const std::vector<bool> &given) const;
    void commitTransaction();
    void rollbackTransaction() noexcept;
    [[noreturn]] void failed(const Error &e);
    Record recordOf(const class QSqlQuery &q) const;
    void finishCopy(); // what was streamed in is read back with everything else
    void eachRow(const QString &sql, const std::function<void(const Record &)> &each);
    QString keyName() const;
    void settleRunKeys();
    std::vector<Conversion> readLog(const QString &where, const QList<QVariant> &params) override;
    bool logHasCheck();
    std::optional<MatchPattern> serverPattern(const QString &text); // the filter's pattern when the server can take it
    std::optional<bool> m_textInUtf8; // the server's encoding is UTF-8; asked once, by serverPattern

    Connection m_connection;
    StoreOptions m_options;
    TableDefinition m_table;
    CopyStream m_copy{m_connection};
    bool m_inTransaction = false; // ours, holding the table's write lock
    bool m_inSnapshot = false;    // a read-only transaction of readSnapshot
    bool m_inRun = false;         // the transaction is a run's: nothing else commits it
    std::optional<Record> m_last; // the table's last record while the transaction holds the lock
    qint64 m_keyBefore = 0;       // the largest key when the transaction began
    qint64 m_pending = 0;         // records appended in the open transaction
    qint64 m_stored = 0;          // records appended that are committed or in the open transaction
    KeyRange m_runKeys{0, 0};
};

} // namespace zefto::postgres
