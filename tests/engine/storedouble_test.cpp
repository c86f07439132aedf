#include "engine.h"
#include "error.h"
#include "fakewindow.h"
#include "reportbuilder.h"
#include "schema.h"
#include "tempdir.h"

#include <gtest/gtest.h>

using zefto::Error;
using zefto::Record;
using zefto::RunOutcome;
using zefto::Value;
using End = zefto::RunOutcome::End;

namespace {

// Keeps records in memory, refuses zero-length text as the table does, and
// writes down every transaction call the engine makes.
class RecordingStore : public zefto::Store {
public:
    RecordingStore() : m_columns(QStringList{QStringLiteral("id")} + zefto::schema::fieldNames()) {}

    QStringList calls;
    std::vector<Record> committed;
    std::vector<Record> pending;

    QString name() const override { return QStringLiteral("memory"); }
    bool isOpen() const override { return m_open; }
    void close() override
    {
        calls << QStringLiteral("close");
        m_open = false;
    }
    const QStringList &columns() const override { return m_columns; }
    std::optional<Record> lastRecord() override
    {
        if (!pending.empty())
            return pending.back();
        if (!committed.empty())
            return committed.back();
        return std::nullopt;
    }
    void append(const Record &values, const std::vector<bool> &given) override
    {
        for (int i = 1; i <= zefto::schema::requiredTextFields; ++i)
            if (given[i] && values[i].isText() && values[i].asText().isEmpty())
                throw Error(zefto::err::ZeroLengthString, QStringLiteral("zero-length"));
        pending.push_back(values);
    }
    void commitPending() override {}
    void beginRun(const zefto::WaitCallback &) override
    {
        calls << QStringLiteral("begin");
        m_inRun = true;
    }
    void commitRun() override
    {
        calls << QStringLiteral("commit");
        m_inRun = false;
        committed.insert(committed.end(), pending.begin(), pending.end());
        pending.clear();
    }
    void rollbackRun() noexcept override
    {
        calls << QStringLiteral("rollback");
        m_inRun = false;
        pending.clear();
    }
    bool inRun() const override { return m_inRun; }
    zefto::KeyRange runKeys() const override { return {0, 0}; }
    qint64 recordsStored() const override { return qint64(committed.size() + pending.size()); }
    bool stillThere() const override { return m_open; }
    void readRecords(const QList<zefto::KeyRange> &, const std::function<void(const Record &)> &) override {}
    qint64 countRecords(zefto::KeyRange) override { return 0; }
    std::optional<qint64> keyAt(zefto::KeyRange, qint64, qint64, bool) override { return std::nullopt; }
    void readAfter(zefto::KeyRange, qint64, int, const std::function<void(const Record &)> &) override {}
    std::vector<qint64> sortedKeys(zefto::KeyRange, int, bool, qint64) override { return {}; }
    void readKeys(const std::vector<qint64> &, const std::function<void(const Record &)> &) override {}
    qint64 logRun(const zefto::Conversion &entry) override
    {
        calls << QStringLiteral("log %1").arg(entry.outcome);
        return 1;
    }
    std::optional<zefto::Conversion> findConversion(const QString &) override
    {
        calls << QStringLiteral("find");
        return std::nullopt;
    }
    std::vector<zefto::Conversion> conversions() override { return {}; }
    qint64 undoConversion(qint64, const QString &) override { return 0; }

private:
    QStringList m_columns;
    bool m_open = true;
    bool m_inRun = false;
};

class StoreDoubleTest : public TempDirTest {
protected:
    RunOutcome run(const std::vector<QByteArray> &table)
    {
        window.path = write(QStringLiteral("r.txt"), report::join(report::paginate(table)));
        engine.db.attach(store);
        return engine.Command1_Click();
    }

    std::vector<QByteArray> rows(int n, const QString &father = QStringLiteral("DOĞAN"))
    {
        std::vector<QByteArray> t;
        for (int i = 0; i < n; ++i) {
            report::Row r = report::sampleRow(i);
            r.father = father;
            t.push_back(report::ownerLine(r));
        }
        return t;
    }

    std::shared_ptr<RecordingStore> store = std::make_shared<RecordingStore>();
    FakeWindow window;
    zefto::Engine engine{window};
};

} // namespace

TEST_F(StoreDoubleTest, EveryReportedEndCommitsTheRunOnce)
{
    // "Converted", then the database is closed as the window expects.
    EXPECT_EQ(run(rows(60)).end, End::Converted);
    // The guard asks before the run and again under its lock; the log entry goes in before the commit.
    EXPECT_EQ(store->calls,
              QStringList({QStringLiteral("find"), QStringLiteral("begin"), QStringLiteral("find"),
                           QStringLiteral("log Converted"), QStringLiteral("commit"), QStringLiteral("close")}));
    EXPECT_EQ(store->committed.size(), 60u);

    // " Invalid file ": committed, and the database stays open.
    store = std::make_shared<RecordingStore>();
    EXPECT_EQ(run(rows(5, QStringLiteral("AHMET"))).end, End::InvalidFile);
    EXPECT_EQ(store->calls, QStringList({QStringLiteral("find"), QStringLiteral("begin"), QStringLiteral("find"),
                                         QStringLiteral("log  Invalid file "), QStringLiteral("commit")}));
    EXPECT_EQ(store->committed.size(), 5u);

    // A failure part-way: the records before it are committed and counted.
    store = std::make_shared<RecordingStore>();
    std::vector<QByteArray> table = rows(8);
    report::Row bad = report::sampleRow(9);
    bad.newShare = QStringLiteral("1,5/2");
    table.push_back(report::ownerLine(bad));
    const RunOutcome failed = run(table);
    EXPECT_EQ(failed.end, End::Failed);
    EXPECT_EQ(failed.errorNumber, 13);
    ASSERT_EQ(store->calls.size(), 5);
    EXPECT_TRUE(store->calls[3].startsWith(QStringLiteral("log Error 13: Type mismatch")))
        << store->calls[3].toStdString();
    store->calls.removeAt(3);
    EXPECT_EQ(store->calls, QStringList({QStringLiteral("find"), QStringLiteral("begin"), QStringLiteral("find"),
                                         QStringLiteral("commit")}));
    EXPECT_EQ(failed.recordsStored, 8);
    EXPECT_EQ(store->committed.size(), 8u);
}

TEST_F(StoreDoubleTest, AnInterruptedRunIsRolledBackNotCommitted)
{
    window.interruptAfterLines = 30;
    const RunOutcome o = run(rows(60));
    EXPECT_EQ(o.end, End::Interrupted);
    // Taken back before anything is logged.
    EXPECT_EQ(store->calls, QStringList({QStringLiteral("find"), QStringLiteral("begin"), QStringLiteral("find"),
                                         QStringLiteral("rollback")}));
    EXPECT_TRUE(store->committed.empty());
    EXPECT_EQ(o.recordsStored, 0);
}

TEST_F(StoreDoubleTest, AReportThatCannotBeReadNeverStartsARun)
{
    window.path = path(QStringLiteral("missing.txt"));
    engine.db.attach(store);
    EXPECT_EQ(engine.Command1_Click().end, End::NotStarted);
    EXPECT_TRUE(store->calls.isEmpty());
}
