#include "readonly.h"
#include "runfixture.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

// A report whose table fills `blocks` whole data blocks, then ends.
std::vector<QByteArray> blocksOfRows(int blocks)
{
    return report::paginate(report::sampleTable(blocks * 50 - 2));
}

} // namespace

TEST_F(RunTest, AReadOnlyDatabaseIsRefusedWithItsPathAndLeftUntouched)
{
    run(blocksOfRows(1));
    const int before = rows().size();
    engine.db.close();
    ReadOnly lock(path(QStringLiteral("ovrek1.mdb")));
    if (!lock.effective())
        GTEST_SKIP() << "this file system cannot make a file read-only for this user";
    window.boxes.clear();
    const RunOutcome o = run(blocksOfRows(1));
    EXPECT_EQ(o.end, End::NotStarted);
    EXPECT_EQ(o.errorNumber, 3027);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(window.boxes[0].prompt.contains(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("read-only")));
    expectUsable();
    EXPECT_EQ(rows().size(), before);
}

TEST_F(RunTest, ADatabaseThatCannotBeCreatedIsReportedWithItsPath)
{
    QDir().mkdir(path(QStringLiteral("locked")));
    ReadOnly lock(path(QStringLiteral("locked")));
    if (!lock.effective())
        GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
    zefto::Engine other(window);
    QDir::setCurrent(path(QStringLiteral("locked")));
    try {
        other.openDatabase(QStringLiteral("ovrek1.mdb"));
        FAIL() << "created in a read-only folder";
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.number(), 3051);
        EXPECT_TRUE(e.description().contains(path(QStringLiteral("locked/ovrek1.mdb"))));
    }
    QDir::setCurrent(path(QString()));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("locked/ovrek1.mdb"))));
}

TEST_F(RunTest, AWriteLockHeldElsewhereIsWaitedForThenReportedAndNothingIsLost)
{
    run(blocksOfRows(1));
    const int before = rows().size();
    engine.db.close();
    engine.db.setLockWait(300);

    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    holder.setDatabaseName(path(QStringLiteral("ovrek1.mdb")));
    ASSERT_TRUE(holder.open());
    QSqlQuery(holder).exec(QStringLiteral("BEGIN IMMEDIATE"));

    window.boxes.clear();
    const RunOutcome o = run(blocksOfRows(2));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 3045);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("in use by another program")));
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("nothing was stored")));
    // The wait is said once, then taken down; the window was kept painted meanwhile.
    const QString waiting =
        QStringLiteral("waiting for another program to finish writing %1…").arg(path(QStringLiteral("ovrek1.mdb")));
    EXPECT_EQ(window.waitingTexts, QStringList({waiting, QString()}));
    EXPECT_GT(window.keepAlives, 3);
    EXPECT_TRUE(window.boxes[0].prompt.contains(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_EQ(o.recordsStored, 0);
    expectUsable();

    QSqlQuery(holder).exec(QStringLiteral("COMMIT"));
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));

    // A lock released within the wait costs only the wait: it is released once the run says it waits.
    std::atomic<bool> locked = false, shownWaiting = false;
    window.onWaiting = [&] { shownWaiting = true; };
    std::thread other([&] {
        {
            QSqlDatabase h = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder2"));
            h.setDatabaseName(path(QStringLiteral("ovrek1.mdb")));
            h.open();
            QSqlQuery(h).exec(QStringLiteral("BEGIN IMMEDIATE"));
            locked = true;
            for (int ms = 0; !shownWaiting && ms < 10000; ++ms)
                QThread::msleep(1);
            QSqlQuery(h).exec(QStringLiteral("COMMIT"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("holder2"));
    });
    while (!locked)
        QThread::msleep(5);
    engine.db.close();
    engine.db.setLockWait(5000);
    const RunOutcome waited = run(blocksOfRows(2));
    other.join();
    EXPECT_TRUE(shownWaiting);
    EXPECT_EQ(waited.end, End::Converted);
    EXPECT_EQ(rows().size(), before + 98);
}

TEST_F(RunTest, AFullDatabaseStopsTheRunAndKeepsEveryRecordItReports)
{
    engine.db.close();
    engine.db.setMaxPageCount(40);
    const RunOutcome o = run(blocksOfRows(20));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 3026);
    EXPECT_TRUE(window.boxes.back().prompt.contains(QStringLiteral("is full")));
    // Whatever SQLite could keep of the run, the message counts exactly what is in the table.
    EXPECT_EQ(rows().size(), o.recordsStored);
    EXPECT_TRUE(window.boxes.back().prompt.contains(QStringLiteral("%1 records were stored").arg(o.recordsStored)));
    expectUsable();
}

TEST_F(RunTest, HostileReportsEndWithAMessageAndAUsableWindow)
{
    QByteArray garbage;
    for (int i = 0; i < 20000; ++i)
        garbage += char((i * 7919) % 256);
    QByteArray nuls(5000, '\0');
    nuls[400] = '\n';
    const QByteArray longLine = report::join(pages(9)) + QByteArray(100000, 'x') + "\r\n";
    const QByteArray endsInBlock = report::join(pages(30, true));
    for (const QByteArray &bytes : {garbage, nuls, longLine, endsInBlock}) {
        window.boxes.clear();
        const qsizetype before = rows().size();
        window.path = write(QStringLiteral("hostile.txt"), bytes);
        const RunOutcome o = engine.Command1_Click();
        EXPECT_EQ(window.boxes.size(), 1u);
        EXPECT_EQ(rows().size() - before, o.recordsStored);
        expectUsable();
    }
    // The 100,000-character line is an owner row cut at its columns; the file then ends inside the block.
    const auto r = rows(QStringLiteral("yada, adi"));
    bool sawLong = false;
    for (const auto &row : r)
        sawLong |= row[0].toString() == QStringLiteral("xxxxx");
    EXPECT_TRUE(sawLong);
}
