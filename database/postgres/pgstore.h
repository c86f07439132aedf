#pragma once

#include "copystream.h"
#include "loggedstore.h"
#include "pgconnection.h"
#include "pgdefinition.h"
#include "pgfilter.h"

namespace zefto::postgres {

// Every transaction that writes sends a notification on this channel as it
// commits, so a reader that listens learns of it without asking.
inline constexpr auto changeChannel = "zefto_records";

// The records in the table ovrekson of a PostgreSQL database: statements
// through libpq, a run's in batches of its own, the records themselves
// streamed with COPY.
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
    // In pgnotify.cpp.
    std::optional<qint64> dataVersion() override;
    // In pgsort.cpp.
    std::vector<qint64> sortedKeys(KeyRange within, int field, bool descending, qint64 limit) override;
    void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each) override;
    // In pgfilter.cpp.
    void readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                      const std::function<void(const Record &)> &each) override;
    void matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                      const std::function<void(qint64 key)> &each) override;
    qint64 logRun(const Conversion &entry) override;
    void readSnapshot(const std::function<void()> &work) override;
    qint64 undoConversion(qint64 id, const QString &by) override;
    void checkMayUndo() const override;
    QString identity() const override { return m_facts.role; }

private:
    PostgresStore(const Address &address, const StoreOptions &options) : m_connection(address), m_options(options) {}
    bool tryBegin(bool onlyTry, const QString &more, Batch *b, std::optional<Failure> *failure);
    Batch beginTransaction(const WaitCallback *whileWaiting, const QString &more);
    void began();
    std::optional<std::vector<Conversion>> openAhead(const QString &sha256);
    void dropAhead();
    Batch commitWith(const QString &first);
    QString lastRecordStatement() const;
    QString runOpening() const;
    void keepLastRecord(const Rows &rows);
    Record stored(const Record &values, const std::vector<bool> &given) const;
    void checkValues(const Record &values, const std::vector<bool> &given) const;
    void commitTransaction();
    void rollbackTransaction() noexcept;
    [[noreturn]] void failed(const Error &e);
    Record recordOf(const QVariantList &row) const;
    void finishCopy(); // what was streamed in is read back with everything else
    void eachRow(const QString &sql, const std::function<void(const Record &)> &each);
    QString keyName() const;
    void settleRunKeys();
    QString logQuery(const QString &where) const;
    static Conversion logEntry(const QVariantList &row);
    // The log's entries; the duplicate guard's question is answered from a run's lock when it brought it.
    std::vector<Conversion> readLog(const QString &where, const QList<QVariant> &params) override;
    Error refused(const QString &action, const QString &privilege, const char *groupRole) const;
    std::optional<MatchPattern> serverPattern(const QString &text); // the filter's pattern when the server can take it
    std::optional<bool> m_textInUtf8; // the server's encoding is UTF-8; asked once, by serverPattern
    std::optional<QString> m_textOrder; // how sortedKeys collates text; asked once, by textOrder
    bool m_listening = false;           // LISTEN was sent for changeChannel, by dataVersion
    qint64 m_notifications = 0;         // looks by dataVersion that found a notification
    QString textOrder();

    // The duplicate guard's answer read under a run's lock, for the question the run asks next.
    struct Guard {
        QString sha256;
        std::optional<Conversion> found;
    };

    Connection m_connection;
    StoreOptions m_options;
    TableDefinition m_table;
    SessionFacts m_facts;
    CopyStream m_copy{m_connection};
    bool m_inTransaction = false; // ours, holding the table's write lock
    bool m_inSnapshot = false;    // a read-only transaction of readSnapshot
    bool m_inRun = false;         // the transaction is a run's: nothing else commits it
    bool m_ahead = false;         // the transaction is a run's opened by the guard's question, before beginRun
    std::optional<Record> m_last; // the table's last record while the transaction holds the lock
    qint64 m_keyBefore = 0;       // the largest key when the transaction began
    qint64 m_pending = 0;         // records appended in the open transaction
    qint64 m_stored = 0;          // records appended that are committed or in the open transaction
    KeyRange m_runKeys{0, 0};
    bool m_keysKnown = false; // the log entry told the run's keys and count
    QString m_guardSha;       // the report the duplicate guard was last asked about
    std::optional<Guard> m_guard;
};

} // namespace zefto::postgres
