#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <csignal>
#include <memory>
#include <gtest/gtest.h>

// What the converter and the records tool say and store when the report,
// the disk or a signal acts at the worst moment (a database file).
namespace {

class ReliabilityTest : public TempDirTest {
protected:
    QString report(const QString &name, int rows) const
    {
        return write(name, report::join(report::paginate(report::sampleTable(rows))));
    }

    std::unique_ptr<Program> start(const char *tool, const QStringList &args) const
    {
        return std::make_unique<Program>(QString::fromUtf8(tool), path(QString()),
                                         QStringList{QStringLiteral("--database"), db()} + args);
    }

    // Through a shell that limits the size of any file written to `kib` KiB.
    std::unique_ptr<Program> limited(int kib, const char *tool, const QStringList &args) const
    {
        return std::make_unique<Program>(QStringLiteral("/bin/bash"), path(QString()),
                                         QStringList{QStringLiteral("-c"),
                                                     QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(kib),
                                                     QString::fromUtf8(tool), QStringLiteral("--database"), db()}
                                             + args);
    }

    QString db() const { return path(QStringLiteral("t.mdb")); }
    qint64 stored() const
    {
        return rawRows(db(), QStringLiteral("SELECT count(*) FROM ovrekson")).value(0).value(0).toLongLong();
    }
    qint64 logged() const
    {
        return rawRows(db(), QStringLiteral("SELECT count(*) FROM zefto_conversions")).value(0).value(0).toLongLong();
    }
};

TEST_F(ReliabilityTest, AReportReplacedWhileTheRunWaitsForTheLockIsRefusedAndNothingIsStored)
{
    ASSERT_TRUE(start(ZEFTO_CONVERT, {report(QStringLiteral("first.txt"), 5)})->finish());
    const QString swapped = report(QStringLiteral("swapped.txt"), 40);
    OtherConnection writer(db(), 0);
    ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
    const std::unique_ptr<Program> p = start(ZEFTO_CONVERT, {swapped});
    ASSERT_TRUE(p->waitForErr(QStringLiteral("waiting for another program"))) << p->transcript();
    report(QStringLiteral("swapped.txt"), 12);
    ASSERT_TRUE(writer.exec(QStringLiteral("ROLLBACK")));
    ASSERT_TRUE(p->finish());
    EXPECT_EQ(p->exitCode(), 2) << p->transcript();
    EXPECT_TRUE(p->err().contains(QStringLiteral("The report '%1' changed while waiting; nothing was stored.").arg(swapped)))
        << p->transcript();
    EXPECT_EQ(stored(), 5);
    EXPECT_EQ(logged(), 1);
    // The new bytes are a report never converted: they convert now.
    EXPECT_TRUE(start(ZEFTO_CONVERT, {swapped})->finish());
    EXPECT_EQ(stored(), 17);
}

TEST_F(ReliabilityTest, ASignalAfterTheCommitLeavesTheRunStoredAndTheStatusZero)
{
    // --list prints more than a pipe holds, so the converter is still there, its run committed, when the signal comes.
    const std::unique_ptr<Program> p = start(ZEFTO_CONVERT, {QStringLiteral("--list"), report(QStringLiteral("r.txt"), 1500)});
    ASSERT_TRUE(p->waitForOut(QStringLiteral("r.txt: Converted\n")));
    ASSERT_TRUE(p->running());
    p->signal(SIGTERM);
    ASSERT_TRUE(p->finish());
    EXPECT_TRUE(p->exitedNormally());
    EXPECT_EQ(p->exitCode(), 0) << p->err().toStdString();
    EXPECT_EQ(stored(), 1500);
}

TEST_F(ReliabilityTest, AFileSizeLimitIsAFullDatabaseForEveryTool)
{
    ASSERT_TRUE(start(ZEFTO_CONVERT, {report(QStringLiteral("small.txt"), 5)})->finish());
    const QString big = report(QStringLiteral("big.txt"), 1500);
    const std::unique_ptr<Program> convert = limited(300, ZEFTO_CONVERT, {big});
    ASSERT_TRUE(convert->finish());
    EXPECT_EQ(convert->exitCode(), 2);
    EXPECT_TRUE(convert->out().startsWith(QStringLiteral("%1: Error 3026: The database '%2' is full").arg(big, db())))
        << convert->transcript();
    EXPECT_TRUE(convert->out().contains(QStringLiteral(", records stored 0, "))) << convert->transcript();
    EXPECT_EQ(stored(), 5);
    EXPECT_EQ(logged(), 1);

    const std::unique_ptr<Program> exporter = limited(0, ZEFTO_RECORDS, {QStringLiteral("export"), QStringLiteral("o.csv")});
    ASSERT_TRUE(exporter->finish());
    EXPECT_TRUE(exporter->exitedNormally()) << "killed by SIGXFSZ";
}

TEST_F(ReliabilityTest, AFailedReadIsAnInputOutputErrorNotADamagedFile)
{
    ASSERT_TRUE(start(ZEFTO_CONVERT, {report(QStringLiteral("r.txt"), 5)})->finish());
    // Every read of the file fails with EIO (5).
    Program p(QStringLiteral("fiu-run"), path(QString()),
              {QStringLiteral("-x"), QStringLiteral("-f"), QString(), QStringLiteral("-c"),
               QStringLiteral("enable name=posix/io/rw/pread,failinfo=5"), QStringLiteral(ZEFTO_RECORDS),
               QStringLiteral("--database"), db(), QStringLiteral("log")});
    ASSERT_TRUE(p.finish());
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.err().startsWith(QStringLiteral("zefto-records: error 3040: Disk I/O error while reading the database "
                                                  "'%1': ")
                                       .arg(db())))
        << p.transcript();
    EXPECT_EQ(rawRows(db(), QStringLiteral("PRAGMA integrity_check")).value(0).value(0).toString(), QStringLiteral("ok"));
}

} // namespace
