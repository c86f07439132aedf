#include "dbtestutil.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <random>
#include <gtest/gtest.h>

// End-to-end faults of the real converter on a maximum-size report:
// 32,767 lines, 25,997 records, committed page by page (every 50 records).
class CrashTest : public TempDirTest {
protected:
    static constexpr int records = 520 * 50 - 3;
    static constexpr int pageRecords = 50;

    void SetUp() override
    {
        TempDirTest::SetUp();
        std::vector<QByteArray> lines = report::paginate(report::sampleTable(records));
        while (lines.size() < 32767)
            lines.push_back(QByteArray());
        reportPath = write(QStringLiteral("big.txt"), report::join(lines));
    }

    QString start(QProcess &p, const QString &database)
    {
        p.setWorkingDirectory(path(QString()));
        p.start(QStringLiteral(ZEFTO_CONVERT), {QStringLiteral("--database"), database, reportPath});
        EXPECT_TRUE(p.waitForStarted());
        return path(database);
    }

    static QString allColumns()
    {
        return QStringLiteral("yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, babaadi, "
                              "epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle");
    }

    QString reportPath;
};

TEST_F(CrashTest, AKilledConversionLeavesWholeRecordsAndLosesAtMostItsPage)
{
    // A complete run gives the records every interrupted run must be a page-aligned prefix of.
    QProcess full;
    QElapsedTimer timer;
    timer.start();
    const QString reference = start(full, QStringLiteral("reference.mdb"));
    ASSERT_TRUE(full.waitForFinished(120000));
    ASSERT_EQ(full.exitCode(), 0) << full.readAllStandardOutput().toStdString();
    const qint64 duration = timer.elapsed();
    const auto expected = rawRows(reference, QStringLiteral("SELECT %1 FROM ovrekson ORDER BY id").arg(allColumns()));
    ASSERT_EQ(expected.size(), records);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<qint64> moment(0, duration);
#ifdef ZEFTO_SANITIZED
    const int kills = 5; // a sanitized conversion takes ten times as long
#else
    const int kills = 20;
#endif
    for (int i = 0; i < kills; ++i) {
        const QString name = QStringLiteral("killed%1.mdb").arg(i);
        QProcess p;
        const QString file = start(p, name);
        const qint64 at = moment(random);
        QThread::msleep(at);
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        SCOPED_TRACE(testing::Message() << "killed after " << at << " ms of " << duration);
        if (!QFile::exists(file))
            continue; // killed before the file was made
        // The next program to open the file finds it usable, whatever the moment.
        {
            zefto::Database next;
            ASSERT_NO_THROW(next.open(file));
        }
        EXPECT_EQ(rawRows(file, QStringLiteral("PRAGMA integrity_check"))[0][0].toString(), QStringLiteral("ok"));
        const auto got = rawRows(file, QStringLiteral("SELECT %1 FROM ovrekson ORDER BY id").arg(allColumns()));
        EXPECT_TRUE(got.size() % pageRecords == 0 || got.size() == records) << got.size();
        ASSERT_LE(got.size(), expected.size());
        for (qsizetype r = 0; r < got.size(); ++r)
            ASSERT_EQ(got[r], expected[r]) << "record " << r + 1;
    }
}

TEST_F(CrashTest, AProgramReadingDuringARunSeesWholePagesAndDoesNotHoldItUp)
{
    QProcess p;
    const QString file = start(p, QStringLiteral("shared.mdb"));
    // QProcess notices the end of its process only while waiting on it.
    auto running = [&] { return !p.waitForFinished(0) && p.state() != QProcess::NotRunning; };
    while (!QFile::exists(file) && running())
        QThread::msleep(1);
    QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
    reader.setDatabaseName(file);
    reader.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    ASSERT_TRUE(reader.open());
    qint64 last = 0;
    int reads = 0;
    while (running()) {
        QElapsedTimer t;
        t.start();
        QSqlQuery q(reader);
        if (!q.exec(QStringLiteral("SELECT count(*), sum(yada IS NULL OR mahalle IS NULL OR adi IS NULL) FROM ovrekson"))) {
            continue; // the table is being created
        }
        ASSERT_TRUE(q.next());
        const qint64 count = q.value(0).toLongLong();
        EXPECT_EQ(q.value(1).toLongLong(), 0) << "a record without its fields";
        EXPECT_TRUE(count % pageRecords == 0 || count == records) << count;
        EXPECT_GE(count, last);
        EXPECT_LT(t.elapsed(), 1000);
        last = count;
        ++reads;
        q.finish();
    }
    p.waitForFinished();
    reader.close();
    reader = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(rawRows(file, QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt(), records);
}
