#include "dbtestutil.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QProcess>
#include <gtest/gtest.h>

// The converter under the limits and broken outputs a machine can impose.
class LimitsTest : public TempDirTest {
protected:
    struct Result {
        int status;
        QString out, err;
    };

    // Runs the converter from a shell that first applies `limits` (ulimit ...).
    Result convert(const QString &limits, const QString &args)
    {
        QProcess p;
        p.setWorkingDirectory(QDir::currentPath());
        p.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), limits + QStringLiteral("; exec '%1' ").arg(QStringLiteral(ZEFTO_CONVERT)) + args});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "killed by a signal";
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString report(int records)
    {
        return write(QStringLiteral("r.txt"), report::join(report::paginate(report::sampleTable(records))));
    }
};

TEST_F(LimitsTest, AFileSizeLimitIsAFullDatabaseNotASilentDeath)
{
    report(2000);
    // Reached while converting: the run says so and nothing half-done stays.
    const Result during = convert(QStringLiteral("ulimit -f 64"), QStringLiteral("--database during.mdb r.txt"));
    EXPECT_EQ(during.status, 2);
    EXPECT_TRUE(during.out.contains(
        QStringLiteral("r.txt: Error 3026: The database '%1' is full").arg(path(QStringLiteral("during.mdb")))))
        << during.out.toStdString();
    EXPECT_TRUE(during.err.contains(
        QStringLiteral("r.txt: error: Error 3026: The database '%1' is full").arg(path(QStringLiteral("during.mdb")))))
        << during.err.toStdString();
    EXPECT_EQ(
        rawRows(path(QStringLiteral("during.mdb")), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt(), 0);

    // Reached while creating the database: the same number, and nothing converted.
    const Result atOpen = convert(QStringLiteral("ulimit -f 0"), QStringLiteral("--database atopen.mdb r.txt"));
    EXPECT_EQ(atOpen.status, 2);
    EXPECT_TRUE(atOpen.out.contains(QStringLiteral("r.txt: Nothing was converted.")));
    EXPECT_TRUE(
        atOpen.err.contains(QStringLiteral("The database '%1' is full").arg(path(QStringLiteral("atopen.mdb")))))
        << atOpen.err.toStdString();
}

TEST_F(LimitsTest, AMissingReportCreatesNoDatabase)
{
    const Result r = convert(QStringLiteral("true"), QStringLiteral("--database new.mdb missing.txt"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("File not found: '%1'.").arg(path(QStringLiteral("missing.txt")))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("new.mdb"))));
}

TEST_F(LimitsTest, AnOutputThatCannotBeWrittenIsAFailure)
{
    report(20);
    const Result r = convert(QStringLiteral("true"), QStringLiteral("--list r.txt > /dev/full"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, QStringLiteral("zefto-convert: cannot write to standard output\n"));
    // The records themselves were stored: only their listing was lost.
    EXPECT_EQ(
        rawRows(path(QStringLiteral("ovrek1.mdb")), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt(), 20);
}
