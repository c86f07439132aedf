#pragma once

#include "connection.h"
#include "definition.h"
#include "error.h"
#include "fileidentity.h"
#include "loggedstore.h"
#include "statement.h"
#include "utf8text.h"

#include <map>
#include <optional>

namespace zefto::sqlite {

// The records in an SQLite file (ovrek1.mdb by default), through SQLite's
// own API: prepared statements bound in the file's own encoding (UTF-8 for
// new files, UTF-16 for files an older version made), so SQLite converts nothing.
class SqliteStore final : public LoggedStore {
public:
    // Opens (and when allowed creates) the file at the absolute `path`. Throws Error.
    static std::shared_ptr<SqliteStore> open(const QString &path, Missing missing, const StoreOptions &options);
    ~SqliteStore() override;

    QString name() const override { return m_path; }
    bool isOpen() const override { return m_db.isOpen(); }
    void close() override;
    const QStringList &columns() const override { return m_columns; }
    std::optional<Record> lastRecord() override;
    void append(const Record &values, const std::vector<bool> &given) override;
    void appendTaking(Record &values, const std::vector<bool> &given) override;
    const Record *appendedLast() const override { return m_inRun && m_runLastKnown ? &m_runLast : nullptr; }
    void commitPending() override;
    void beginRun(const WaitCallback &whileWaiting) override;
    void commitRun() override;
    void rollbackRun() noexcept override;
    bool inRun() const override { return m_inRun; }
    KeyRange runKeys() const override { return m_runKeys; }
    qint64 recordsStored() const override { return m_stored; }
    bool stillThere() const override;
    void readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each) override;
    qint64 countRecords(KeyRange within) override;
    std::optional<qint64> keyAt(KeyRange within, qint64 from, qint64 offset, bool down) override;
    void readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each) override;
    std::vector<qint64> sortedKeys(KeyRange within, int field, bool descending, qint64 limit) override;
    std::optional<qint64> dataVersion() override;
    void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each) override;
    // In sqlitefilter.cpp.
    void readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                      const std::function<void(const Record &)> &each) override;
    void matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                      const std::function<void(qint64 key)> &each) override;
    qint64 logRun(const Conversion &entry) override;
    qint64 undoConversion(qint64 id, const QString &by) override;
    void readSnapshot(const std::function<void()> &work) override;

private:
    SqliteStore(const QString &path, const StoreOptions &options) : m_path(path), m_options(options) {}
    void connect(Missing missing);
    void configure(bool empty);
    void createTableIfFileEmpty(bool inFirstRun);
    void readEncoding();
    void waitForWriteLock(const WaitCallback &whileWaiting);
    Transaction writeTransaction();
    void checkStillNamed(qint64 records) const;
    void afterFailure();   // SQLite may have rolled the whole transaction back
    void checkRunStands(); // throws when a run's transaction is gone
    void forgetRun() noexcept;
    // An INSERT for one set of given fields, and which fields those are.
    struct Insert {
        Statement statement;
        std::vector<int> given;    // the columns it binds, in table order
        std::vector<int> notGiven; // the columns the table fills in
        bool bindsExactly(const std::vector<bool> &fields) const;
        // What judgeAsTheTable looks at in its records, worked out once per run.
        struct Judging {
            qint64 run = -1;                       // the run it was worked out for
            bool sqliteDecides = true;             // a key is given, or the table's fields are not known
            std::vector<std::pair<int, int>> text; // given text fields, each with its m_zeroLength check or -1
            std::vector<int> real;                 // given area fields
        };
        mutable Judging judging;
    };
    const Insert &insertFor(const std::vector<bool> &given);
    const Insert &insert(const Record &values, const std::vector<bool> &given);
    bool readsBackAsBound(const Record &values, const Insert &insert) const;
    void settleRunLast(const Insert &insert);
    // What the table's CHECKs would make of a record while SQLite skips them (sqlitechecks.cpp).
    enum class Verdict { Passes, Refused, SQLiteDecides };
    Verdict judgeAsTheTable(const Record &values, const Insert &insert, QString *refusedBy) const;
    void planJudging(const Insert &insert) const;
    Error refusal(const QString &check) const;
    int stepWithTableChecks(sqlite3_stmt *q, std::optional<Error> &failure);
    void skipTableChecks();
    void keepTableChecks() noexcept;
    bool hasLog();
    bool logHasCheck();
    std::vector<Conversion> readLog(const QString &where, const QList<QVariant> &params) override;
    qint64 scalar(const QString &sql, qint64 param = 0);
    void eachRow(sqlite3_stmt *q, const std::function<void(const Record &)> &each);
    void bindAll(sqlite3_stmt *q, const QList<QVariant> &params);

    QString m_path;
    StoreOptions m_options;
    Connection m_db;
    TextBinder m_text; // in the file's encoding, read from the file once it has one
    std::optional<Transaction> m_transaction;              // the run's, or the one records added outside a run share
    FileIdentity m_identity;                               // the file we opened, to notice it being removed or replaced
    QStringList m_columns;                                 // fields of ovrekson, in table order
    std::map<std::vector<bool>, Insert> m_inserts;         // one per set of given fields
    const Insert *m_lastInsert = nullptr;                  // the one used last
    Statement m_lastRow;                                   // the record added last
    std::vector<definition::FieldKind> m_storedAsBound;    // for the run under way; empty: read records back
    std::vector<definition::ZeroLengthCheck> m_zeroLength; // what judgeAsTheTable refuses, in SQLite's order
    bool m_checksSkipped = false; // statements may be compiled without the table's CHECKs: judged here
    qint64 m_runs = 0;            // runs begun, to tell one run's judging from the last's
    Record m_runLast;             // the run's last record as the table holds it, when m_runLastKnown
    bool m_runLastKnown = false;
    bool m_inRun = false;        // a run's transaction is open: nothing else commits it
    bool m_tablePending = false; // a new file whose table the next run makes
    bool m_tableInRun = false;   // the open run made the table: taking it back takes the table too
    bool m_probePending = false; // the zero-length probe waits for the write lock
    qint64 m_pending = 0;        // records added since the open transaction began
    qint64 m_stored = 0;         // records added that are in the file or the open transaction
    KeyRange m_runKeys{0, 0};
    qint64 m_keyFloor = 0; // a run's first key must lie above it: keys of undone conversions stay unused
};

} // namespace zefto::sqlite
