#include "runfixture.h"

#include <QThread>
#include <latch>
#include <thread>

using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

// A run on a PostgreSQL server: what only a server adds to the run tests.
class PgRunTest : public RunFixture {
protected:
    Backend backend() const override { return Backend::Postgres; }
};

class PgKilledServerTest : public PgRunTest {
protected:
    bool killsServer() const override { return true; }
};

std::vector<QByteArray> blocksOfRows(int blocks)
{
    return report::paginate(report::sampleTable(blocks * 50 - 2));
}

// A report whose owners are "<name> <line>", the first data line of every
// page after the first a continuation row (it repeats the record before).
std::vector<QByteArray> markedReport(const QString &name, int pages)
{
    std::vector<QByteArray> lines;
    for (int i = 1; i <= pages * 63 - 3; ++i) { // ending at the first line of the last gap
        if (!zefto::layout::inDataBlock(i)) {
            lines.push_back(report::headerLine(i));
            continue;
        }
        report::Row r = report::sampleRow(i);
        r.father = QStringLiteral("DOĞAN");
        r.owner = QStringLiteral("%1 %2").arg(name).arg(i);
        lines.push_back(i > 63 && (i - 1) % 63 == 9 ? report::continuationLine(r) : report::ownerLine(r));
    }
    return lines;
}

} // namespace

TEST_F(PgRunTest, AWriteLockHeldElsewhereIsWaitedForThenReportedAndReadersNeverWait)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    engine.db.setLockWait(300);
    PgSession holder(*server);
    ASSERT_TRUE(holder.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(
        holder.exec(QStringLiteral("SELECT pg_advisory_xact_lock(1516594804, 'ovrekson'::regclass::oid::int)")));

    window.boxes.clear();
    const RunOutcome o = run(blocksOfRows(2));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 3045);
    EXPECT_EQ(o.recordsStored, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(window.boxes[0].prompt.contains(
        QStringLiteral(
            "Error 3045: The database '%1' is in use by another program, which held its write lock for 0.3 s; "
            "nothing was stored.")
            .arg(server->uri())))
        << window.boxes[0].prompt.toStdString();
    // The wait is said once, then taken down; the window was kept painted meanwhile.
    EXPECT_EQ(window.waitingTexts,
              QStringList(
                  {QStringLiteral("waiting for another program to finish writing %1…").arg(server->uri()), QString()}));
    EXPECT_GT(window.keepAlives, 3);
    expectUsable();
    ASSERT_TRUE(holder.exec(QStringLiteral("COMMIT")));

    // A reader in the middle of a run sees the table as before it, at once.
    PgSession reader(*server);
    ASSERT_TRUE(reader.exec(QStringLiteral("SET statement_timeout = 5000")));
    QList<QVariantList> seen;
    window.onValue = [&](float v) {
        if (v == 100)
            seen = server->query(QStringLiteral("SELECT count(*) FROM ovrekson"));
    };
    EXPECT_EQ(run(blocksOfRows(2)).end, End::Converted);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0][0].toInt(), 48);
    EXPECT_EQ(rows().size(), 48 + 98);
}

TEST_F(PgKilledServerTest, AServerKilledMidRunKeepsNothingOfTheRunAndSaysSo)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    window.boxes.clear();
    window.onValue = [&](float v) {
        if (v == 200)
            ownServer().kill();
    };
    const RunOutcome o = run(blocksOfRows(6));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 3151);
    EXPECT_EQ(o.recordsStored, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    const QString &box = window.boxes[0].prompt;
    EXPECT_TRUE(box.startsWith(
        QStringLiteral("Error 3151: The connection to the database server of '%1' was lost: ").arg(server->uri())))
        << box.toStdString();
    EXPECT_TRUE(box.contains(QStringLiteral("none of its")));
    EXPECT_TRUE(box.contains(QStringLiteral("; 0 records were stored.")));
    expectUsable();

    // Back up, the server holds the earlier run alone, and the next run reconnects.
    window.onValue = nullptr;
    ownServer().restart();
    EXPECT_EQ(rows().size(), 48);
    EXPECT_EQ(run(blocksOfRows(1)).end, End::Converted);
    EXPECT_EQ(rows().size(), 96);
}

TEST_F(PgRunTest, NoLockIsHeldWhileTheOperatorIsAskedAboutAReportConvertedBefore)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    // Another clerk's run may take the lock while this one's operator thinks.
    QList<QVariantList> taken;
    window.onQuestion = [&] {
        taken =
            server->query(QStringLiteral("SELECT pg_try_advisory_lock(1516594804, 'ovrekson'::regclass::oid::int)"));
    };
    EXPECT_EQ(run(blocksOfRows(1)).end, End::Converted);
    EXPECT_EQ(window.questions.size(), 1);
    ASSERT_EQ(taken.size(), 1);
    EXPECT_TRUE(taken[0][0].toBool());
    EXPECT_EQ(rows().size(), 2 * 48);
}

TEST_F(PgRunTest, AnInterruptedRunIsTakenBackWhole)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    engine.openDatabase(databaseName());
    window.boxes.clear();
    window.interruptAfterLines = 75; // inside the second block
    const RunOutcome o = run(blocksOfRows(3));
    EXPECT_EQ(o.end, End::Interrupted);
    EXPECT_EQ(o.recordsStored, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral("interrupted: nothing of %1 was stored").arg(window.path));
    EXPECT_EQ(rows().size(), 48);
    expectUsable();
}

TEST_F(PgRunTest, TwoClientsAtOnceStoreEachRunAsOneBlockThatReadsOnlyItself)
{
    constexpr int pages = 6;
    const QString reports[] = {
        write(QStringLiteral("a.txt"), report::join(markedReport(QStringLiteral("AYŞE"), pages))),
        write(QStringLiteral("b.txt"), report::join(markedReport(QStringLiteral("BERK"), pages)))};
    for (int round = 0; round < 3; ++round) {
        std::latch ready(2);
        RunOutcome outcomes[2];
        auto client = [&](int c) {
            FakeWindow w;
            w.path = reports[c];
            zefto::Engine e(w);
            e.openDatabase(databaseName());
            ready.arrive_and_wait();
            outcomes[c] = e.Command1_Click();
        };
        std::thread a(client, 0), b(client, 1);
        a.join();
        b.join();
        for (const RunOutcome &o : outcomes) {
            EXPECT_EQ(o.end, End::Converted) << o.message.toStdString() << o.errorDescription.toStdString();
            EXPECT_EQ(o.recordsStored, pages * 50);
            EXPECT_EQ(o.lastKey - o.firstKey + 1, pages * 50);
        }
    }
    const auto stored = rows(QStringLiteral("id, adi, soyadi"));
    ASSERT_EQ(stored.size(), 6 * pages * 50);
    // Each run is one block of its own name, and a page-top continuation repeats its own run's record.
    for (qsizetype block = 0; block < stored.size(); block += pages * 50) {
        const QString name = stored[block][1].toString();
        for (qsizetype i = block; i < block + pages * 50; ++i) {
            EXPECT_EQ(stored[i][1].toString(), name) << "record " << i;
            const int line = stored[i][2].toInt();
            const int expected = 10 + (i - block) / 50 * 63 + (i - block) % 50;
            EXPECT_EQ(line, expected % 63 == 10 && expected > 63 ? expected - 14 : expected) << "record " << i;
        }
    }
}
