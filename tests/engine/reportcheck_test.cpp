#include "reportbuilder.h"
#include "reportcheck.h"
#include "tempdir.h"

#include <gtest/gtest.h>

using namespace zefto;

class ReportCheckTest : public TempDirTest {};

TEST_F(ReportCheckTest, OnlyAFullLineWhereDataLinesStandMakesAFileLookLikeAReport)
{
    const QByteArray full(161, 'x');
    std::vector<QByteArray> lines(80, QByteArray("short line"));
    EXPECT_FALSE(reportcheck::hasFullDataLine(write(QStringLiteral("letter.txt"), report::join(lines))));

    // Lines 1-9 are the header and 60-72 the first gap: a long line there is not a data line.
    for (int n : {1, 9, 60, 72})
        lines[n - 1] = full;
    EXPECT_FALSE(reportcheck::hasFullDataLine(write(QStringLiteral("headers.txt"), report::join(lines))));
    // One character short of the last column is not a full line either.
    lines[9] = QByteArray(160, 'x');
    EXPECT_FALSE(reportcheck::hasFullDataLine(write(QStringLiteral("short.txt"), report::join(lines))));

    for (int n : {10, 59, 73}) {
        std::vector<QByteArray> one = lines;
        one[n - 1] = full;
        EXPECT_TRUE(reportcheck::hasFullDataLine(write(QStringLiteral("one.txt"), report::join(one)))) << n;
    }
    EXPECT_TRUE(reportcheck::hasFullDataLine(
        write(QStringLiteral("report.txt"), report::join(report::paginate(report::sampleTable(3))))));
    EXPECT_FALSE(reportcheck::hasFullDataLine(path(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(reportcheck::hasFullDataLine(path(QString())));
}

TEST_F(ReportCheckTest, TheDatabaseAndItsSideFilesAreKnownUnderAnyName)
{
    const QString db = write(QStringLiteral("ovrek1.mdb"), "SQLite format 3");
    const QString journal = write(QStringLiteral("ovrek1.mdb-journal"), "j");
    write(QStringLiteral("other.txt"), "r");
    QDir().mkdir(path(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(db, path(QStringLiteral("sub/alias.txt"))));

    EXPECT_TRUE(reportcheck::isDatabaseFile(db, db));
    EXPECT_TRUE(reportcheck::isDatabaseFile(QStringLiteral("sub/../ovrek1.mdb"), db));
    EXPECT_TRUE(reportcheck::isDatabaseFile(path(QStringLiteral("sub/alias.txt")), db));
    EXPECT_TRUE(reportcheck::isDatabaseFile(journal, db));
    EXPECT_FALSE(reportcheck::isDatabaseFile(path(QStringLiteral("other.txt")), db));
    EXPECT_FALSE(reportcheck::isDatabaseFile(path(QStringLiteral("missing.txt")), db));
    // A missing database is no file to confuse a report with.
    EXPECT_FALSE(reportcheck::isDatabaseFile(db, path(QStringLiteral("new.mdb"))));
    EXPECT_FALSE(reportcheck::isDatabaseFile(db, QStringLiteral("postgresql://localhost/ovrek")));
}

TEST_F(ReportCheckTest, AFileThatIsNotTextAtAllIsKnownByItsFirstBytes)
{
    const QByteArray line = QByteArray(
                                "          10    100      1   500.10 \x9a"
                                "ST I\x9eIK")
                            + QByteArray(120, ' ');
    const struct {
        const char *what;
        QByteArray head;
        bool notText;
    } cases[] = {
        {"workbook (zip)", QByteArray("PK\x03\x04\x14\x00\x06\x00", 8) + line, true},
        {"zip by its signature alone", "PK\x03\x04" + line + line + line, true},
        {"old workbook (OLE)", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + line, true},
        {"PDF", "%PDF-1.7\n" + line, true},
        {"bytes of every value",
         [] {
             QByteArray b;
             for (int i = 0; i < 1024; ++i)
                 b += char(i * 7);
             return b;
         }(),
         true},
        {"a damaged line's NULs", line + QByteArray(3, '\0') + line + QByteArray(1, '\0') + line, false},
        {"control bytes throughout", QByteArray(200, '\x01') + line, true},
        {"a report", line + "\r\n" + line, false},
        {"a report with a NUL tail after a crash", line + "\r\n" + QByteArray(4096, '\0'), false},
        {"printer codes and a form feed", "\x1B@\x0F" + line + "\f\x12\r\n" + line + "\x1A", false},
        {"a letter", "Dear Sir,\r\nThe parcels are listed below.\r\n", false},
        {"empty", QByteArray(), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(reportcheck::isNotText(c.head), c.notText) << c.what;
    EXPECT_TRUE(reportcheck::isNotText(write(QStringLiteral("book.xlsx"), cases[0].head)));
    EXPECT_FALSE(reportcheck::isNotText(path(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(reportcheck::isNotText(path(QString())));
}
