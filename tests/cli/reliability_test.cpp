#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <gtest/gtest.h>

// What the tools say and store when the report, the disk or a signal acts at the worst moment.
namespace {

class ReliabilityTest : public TempDirTest {
protected:
    QString report(const QString &name, int rows) const
    {
        return write(name, report::join(report::paginate(report::sampleTable(rows))));
    }
    // Run through bash, which can set a file size limit (KiB) first.
    std::unique_ptr<Program> start(const char *tool, const QStringList &args,
                                   const QString &limit = QStringLiteral("unlimited"))
    {
        return std::make_unique<Program>(QStringLiteral("/bin/bash"), path(QString()),
                                         QStringList{QStringLiteral("-c"),
                                                     QStringLiteral("ulimit -f %1; exec \"$0\" \"$@\"").arg(limit),
                                                     QString::fromUtf8(tool), QStringLiteral("--database"), db()}
                                             + args);
    }
    void convert(const QString &report) { ASSERT_TRUE(start(ZEFTO_CONVERT, {report})->finish()); }
    QString db() const { return path(QStringLiteral("t.mdb")); }
    // Records, then log entries.
    std::pair<qint64, qint64> stored() const
    {
        return {rawRows(db(), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toLongLong(),
                rawRows(db(), QStringLiteral("SELECT count(*) FROM zefto_conversions"))[0][0].toLongLong()};
    }
};

TEST_F(ReliabilityTest, AReportReplacedWhileTheRunWaitsForTheLockIsRefusedAndNothingIsStored)
{
    convert(report(QStringLiteral("first.txt"), 5));
    const QString swapped = report(QStringLiteral("swapped.txt"), 40);
    OtherConnection writer(db(), 0);
    ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
    const std::unique_ptr<Program> p = start(ZEFTO_CONVERT, {swapped});
    ASSERT_TRUE(p->waitForErr(QStringLiteral("waiting for another program"))) << p->transcript();
    report(QStringLiteral("swapped.txt"), 12);
    ASSERT_TRUE(writer.exec(QStringLiteral("ROLLBACK")));
    ASSERT_TRUE(p->finish());
    EXPECT_EQ(p->exitCode(), 2);
    EXPECT_TRUE(p->err().contains(
        QStringLiteral("Error 57: The report '%1' changed while waiting; nothing was stored.").arg(swapped)))
        << p->transcript();
    EXPECT_EQ(stored(), std::pair(5LL, 1LL));
    convert(swapped); // the new bytes were never converted
    EXPECT_EQ(stored(), std::pair(17LL, 2LL));
}

TEST_F(ReliabilityTest, ASignalAfterTheCommitLeavesTheRunStoredAndTheStatusZero)
{
    // --list prints more than a pipe holds: the converter is still there, its run committed, when the signal comes.
    const std::unique_ptr<Program> p =
        start(ZEFTO_CONVERT, {QStringLiteral("--list"), report(QStringLiteral("r.txt"), 1500)});
    ASSERT_TRUE(p->waitForOut(QStringLiteral(": Converted\n")) && p->running());
    p->signal(SIGTERM);
    ASSERT_TRUE(p->finish());
    EXPECT_EQ(p->exitCode(), 0) << p->err().toStdString();
    EXPECT_EQ(stored(), std::pair(1500LL, 1LL));
}

TEST_F(ReliabilityTest, AFileSizeLimitIsAFullDatabaseAndAFailedReadIsNoDamage)
{
    convert(report(QStringLiteral("small.txt"), 5));
    const QString big = report(QStringLiteral("big.txt"), 1500);
    // 150 KiB: the 5 records fit, the 1,500 (about 260 KiB in a new UTF-8 file) do not.
    const std::unique_ptr<Program> p = start(ZEFTO_CONVERT, {big}, QStringLiteral("150"));
    ASSERT_TRUE(p->finish());
    EXPECT_EQ(p->exitCode(), 2);
    EXPECT_TRUE(p->out().startsWith(QStringLiteral("%1: Error 3026: The database '%2' is full").arg(big, db()))
                && p->out().contains(QStringLiteral(", records stored 0, ")))
        << p->transcript();
    EXPECT_EQ(stored(), std::pair(5LL, 1LL));
    const std::unique_ptr<Program> exporter =
        start(ZEFTO_RECORDS, {QStringLiteral("export"), QStringLiteral("o.csv")}, QStringLiteral("0"));
    EXPECT_TRUE(exporter->finish() && exporter->exitedNormally()) << "killed by SIGXFSZ";

#ifdef ZEFTO_SANITIZED
    GTEST_SKIP() << "libfiu's preload cannot come before the sanitizers' runtime";
#endif
    // Every read of the file fails with EIO (5): an I/O error, the file whole.
    Program log(QStringLiteral("fiu-run"), path(QString()),
                {QStringLiteral("-x"), QStringLiteral("-f"), QString(), QStringLiteral("-c"),
                 QStringLiteral("enable name=posix/io/rw/pread,failinfo=5"), QStringLiteral(ZEFTO_RECORDS),
                 QStringLiteral("--database"), db(), QStringLiteral("log")});
    ASSERT_TRUE(log.finish());
    EXPECT_TRUE(log.err().startsWith(
        QStringLiteral("zefto-records: error 3040: Disk I/O error while reading the database '%1': ").arg(db())))
        << log.transcript();
    EXPECT_EQ(rawRows(db(), QStringLiteral("PRAGMA integrity_check"))[0][0].toString(), QStringLiteral("ok"));
}

} // namespace
