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

// The exit status of one zefto-convert run over several reports, each ending its own way.
class ExitStatusTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        converted =
            write(QStringLiteral("converted.txt"), report::join(report::paginate(rows(QStringLiteral("DOĞAN")))));
        invalid = write(QStringLiteral("invalid.txt"), report::join(report::paginate(rows(QStringLiteral("AHMET")))));
        // Nine header lines and five data lines, then the file ends inside the data block: Error 62.
        std::vector<QByteArray> cut = report::paginate(rows(QStringLiteral("DOĞAN")));
        cut.resize(14);
        failed = write(QStringLiteral("failed.txt"), report::join(cut));
        // A blank line at line 12 with data lines after it: the conversion stops short of them.
        std::vector<QByteArray> gap = report::paginate(rows(QStringLiteral("DOĞAN")));
        gap[11] = QByteArray();
        incomplete = write(QStringLiteral("incomplete.txt"), report::join(gap));
        missing = path(QStringLiteral("missing.txt"));
    }

    static std::vector<QByteArray> rows(const QString &father)
    {
        std::vector<QByteArray> table;
        for (int i = 0; i < 5; ++i) {
            report::Row r = report::sampleRow(i);
            r.father = father;
            table.push_back(report::ownerLine(r));
        }
        return table;
    }

    // With `again`, a report named twice is converted twice rather than refused as a duplicate.
    Result convert(const QStringList &reports, bool again = true)
    {
        QProcess p;
        p.setWorkingDirectory(QDir::currentPath());
        const QString database = QStringLiteral("run%1.mdb").arg(++runs);
        p.start(QStringLiteral(ZEFTO_CONVERT), QStringList{QStringLiteral("--database"), database}
                                                   + (again ? QStringList{QStringLiteral("--again")} : QStringList())
                                                   + reports);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString converted, invalid, failed, incomplete, missing;
    int runs = 0;
};

TEST_F(ExitStatusTest, EachReportAloneEndsAsBuilt)
{
    Result r = convert({converted});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("Converted")), 1) << r.out.toStdString();
    r = convert({invalid});
    EXPECT_EQ(r.status, 1) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral(" Invalid file ")), 1) << r.out.toStdString();
    r = convert({failed});
    EXPECT_EQ(r.status, 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Error 62"))) << r.out.toStdString();
    r = convert({incomplete});
    EXPECT_EQ(r.status, 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("line 12"))) << r.out.toStdString();
    r = convert({missing});
    EXPECT_EQ(r.status, 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Nothing was converted."))) << r.out.toStdString();
}

TEST_F(ExitStatusTest, AnInvalidFileAfterAFailureLeavesTheFailure)
{
    const Result r = convert({failed, invalid});
    EXPECT_EQ(r.status, 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Error 62"))) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral(" Invalid file ")), 1) << r.out.toStdString();
    EXPECT_EQ(convert({incomplete, invalid}).status, 2);
    EXPECT_EQ(convert({missing, invalid}).status, 2);
    EXPECT_EQ(convert({failed, invalid, invalid}).status, 2);
    EXPECT_EQ(convert({failed, converted, invalid}).status, 2);
}

TEST_F(ExitStatusTest, TheWorstEndOfAnyOrderIsTheStatus)
{
    struct Case {
        QStringList reports;
        int status;
    };
    const std::vector<Case> cases = {
        {{converted, converted}, 0},
        {{invalid, converted}, 1},
        {{converted, invalid}, 1},
        {{invalid, invalid}, 1},
        {{converted, invalid, converted}, 1},
        {{converted, failed}, 2},
        {{failed, converted}, 2},
        {{invalid, failed}, 2},
        {{converted, failed, converted}, 2},
        {{invalid, incomplete}, 2},
        {{incomplete, converted}, 2},
        {{converted, missing}, 2},
        {{failed, incomplete}, 2},
    };
    for (const Case &c : cases) {
        QStringList names;
        for (const QString &report : c.reports)
            names << QFileInfo(report).fileName();
        const Result r = convert(c.reports);
        EXPECT_EQ(r.status, c.status) << names.join(u' ').toStdString() << '\n' << r.out.toStdString();
    }
}

TEST_F(ExitStatusTest, ARefusedDuplicateRanksBelowAFailureAndAboveAnInvalidFile)
{
    struct Case {
        QStringList reports;
        int status;
    };
    const std::vector<Case> cases = {
        {{converted, converted}, 3},          {{invalid, invalid}, 3},
        {{converted, converted, invalid}, 3}, {{invalid, converted, converted}, 3},
        {{converted, converted, failed}, 2},  {{incomplete, converted, converted}, 2},
    };
    for (const Case &c : cases) {
        QStringList names;
        for (const QString &report : c.reports)
            names << QFileInfo(report).fileName();
        const Result r = convert(c.reports, false);
        EXPECT_EQ(r.status, c.status) << names.join(u' ').toStdString() << '\n' << r.out.toStdString();
    }
}
