#include "dbtestutil.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Result {
    int status;
    QString out, err;
};

} // namespace

class ConvertTest : public TempDirTest {
protected:
    Result convert(const QStringList &args)
    {
        QProcess p;
        p.setWorkingDirectory(QDir::currentPath());
        p.start(QStringLiteral(ZEFTO_CONVERT), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    // A report whose fathers' names have no Ğ: it ends " Invalid file ".
    QString invalidReport()
    {
        std::vector<QByteArray> table;
        for (int i = 0; i < 5; ++i) {
            report::Row r = report::sampleRow(i);
            r.father = QStringLiteral("AHMET");
            table.push_back(report::ownerLine(r));
        }
        return write(QStringLiteral("invalid.txt"), report::join(report::paginate(table)));
    }
};

TEST_F(ConvertTest, TheSampleConvertsIntoTheCurrentDirectoryEveryTime)
{
    for (int i = 1; i <= 2; ++i) {
        // The second time on purpose: --again, or the guard would refuse it.
        const Result r = convert(i == 1 ? QStringList{QStringLiteral(SAMPLE_REPORT)}
                                        : QStringList{QStringLiteral("--again"), QStringLiteral(SAMPLE_REPORT)});
        EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral(": Converted\n")));
        EXPECT_TRUE(r.out.contains(QStringLiteral("records stored 120"))) << r.out.toStdString();
    }
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("ovrek1.mdb"))));
}

TEST_F(ConvertTest, ExitStatusTellsTheWorstEnd)
{
    const QString invalid = invalidReport();
    Result r = convert({QStringLiteral("--database"), QStringLiteral("other.mdb"), invalid});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral(":  Invalid file \n")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("other.mdb"))));

    r = convert({QStringLiteral(SAMPLE_REPORT), path(QStringLiteral("missing.txt"))});
    EXPECT_EQ(r.status, 2);
    // The first line of an error stays beside the report's name; the whole message goes to standard error.
    EXPECT_TRUE(r.out.contains(QStringLiteral("missing.txt: Nothing was converted.\n")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("missing.txt: error: Nothing was converted.\n\nFile not found")));

    r = convert({QStringLiteral("--again"), invalid, QStringLiteral(SAMPLE_REPORT)});
    EXPECT_EQ(r.status, 1);
    // Without --again the sample, stored above, is refused: 3 outranks " Invalid file ".
    r = convert({path(QStringLiteral("invalid.txt")), QStringLiteral(SAMPLE_REPORT)});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.contains(QStringLiteral("records stored 0"))) << r.out.toStdString();
}

TEST_F(ConvertTest, BadUsageAndHelp)
{
    EXPECT_EQ(convert({}).status, 64);
    EXPECT_EQ(convert({QStringLiteral("--bogus"), QStringLiteral("x")}).status, 64);
    const Result help = convert({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: zefto-convert")));
}

TEST_F(ConvertTest, ADatabaseThatCannotBeUsedIsNamedAndNothingRuns)
{
    write(QStringLiteral("bad.mdb"), QByteArray(4096, 'x'));
    const Result r = convert({QStringLiteral("--database"), QStringLiteral("bad.mdb"), QStringLiteral(SAMPLE_REPORT)});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.contains(QStringLiteral("sample-report.txt: Nothing was converted.\n")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("error: Nothing was converted.")));
    EXPECT_TRUE(r.err.contains(path(QStringLiteral("bad.mdb"))));
}

TEST_F(ConvertTest, TheDatabaseIsChosenByOptionThenEnvironment)
{
    qputenv("ZEFTO_DATABASE", "from-env.mdb");
    const Result byEnv = convert({QStringLiteral(SAMPLE_REPORT)});
    const Result byOption =
        convert({QStringLiteral("--database"), QStringLiteral("option.mdb"), QStringLiteral(SAMPLE_REPORT)});
    // A server of a kind Zefto cannot use is wrong usage; PostgreSQL has tests of its own.
    const Result server = convert(
        {QStringLiteral("--database"), QStringLiteral("mysql://clerk:pw@host/tapu"), QStringLiteral(SAMPLE_REPORT)});
    qunsetenv("ZEFTO_DATABASE");
    EXPECT_EQ(byEnv.status, 0);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("from-env.mdb"))));
    EXPECT_EQ(byOption.status, 0);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("option.mdb"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_EQ(server.status, 64);
    EXPECT_TRUE(server.err.contains(QStringLiteral("mysql://clerk@host/tapu")));
    EXPECT_FALSE(server.err.contains(QStringLiteral("pw@")));
}

TEST_F(ConvertTest, AFileThatIsNoReportIsSaidToBeNoneAndTheDatabaseIsNeverReadAsOne)
{
    const QString letter = write(QStringLiteral("letter.txt"), "Dear Sir,\r\nthe parcels are listed below.\r\n");
    Result r = convert({letter});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.startsWith(letter + QStringLiteral(": Error 62: "))) << r.out.toStdString();
    EXPECT_TRUE(r.err.endsWith(letter + QStringLiteral(": this does not look like a share table report\n")))
        << r.err.toStdString();

    // A report cut short after its first records is a report all the same.
    std::vector<QByteArray> lines = report::paginate(report::sampleTable(20));
    lines.resize(15);
    r = convert({write(QStringLiteral("cut.txt"), report::join(lines))});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.contains(QStringLiteral("records stored 6"))) << r.out.toStdString(); // lines 10 to 15
    EXPECT_FALSE(r.err.contains(QStringLiteral("does not look like")));

    const QString db = path(QStringLiteral("ovrek1.mdb"));
    const QByteArray before = [&] {
        QFile f(db);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    r = convert({QStringLiteral("ovrek1.mdb")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("'%1' is the database the records are stored in, not a report.").arg(db)))
        << r.err.toStdString();
    QFile f(db);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before) << "the database was touched";

    // A workbook picked as a report is refused before the run: no line read, nothing logged.
    const QString book =
        write(QStringLiteral("records.xlsx"), QByteArray("PK\x03\x04\x14\x00\x06\x00", 8) + QByteArray(300, 'x'));
    const qint64 logged = rawRows(db, QStringLiteral("SELECT count(*) FROM zefto_conversions"))[0][0].toLongLong();
    r = convert({book});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("'%1' does not look like a share table report.").arg(book)))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("lines read 0 of 0")));
    EXPECT_EQ(rawRows(db, QStringLiteral("SELECT count(*) FROM zefto_conversions"))[0][0].toLongLong(), logged);
}
