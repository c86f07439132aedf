#include "error.h"
#include "reportreader.h"
#include "tempdir.h"
#include <gtest/gtest.h>

using zefto::ReportReader;

static QStringList L(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromLatin1(i);
    return out;
}

class ReportReaderTest : public TempDirTest {
protected:
    QStringList readAll(const QByteArray &bytes)
    {
        ReportReader r;
        r.open(write(QStringLiteral("r.txt"), bytes));
        QStringList lines;
        while (!r.atEnd())
            lines << r.readLine();
        return lines;
    }
};

TEST_F(ReportReaderTest, CrLfLoneCrAndLoneLfEachEndALine)
{
    EXPECT_EQ(readAll("a\r\nb\r\n"), L({"a", "b"}));
    EXPECT_EQ(readAll("a\rb\r"), L({"a", "b"}));
    EXPECT_EQ(readAll("a\nb\n"), L({"a", "b"}));
    EXPECT_EQ(readAll("a\r\n\r\nb"), L({"a", "", "b"}));
    EXPECT_EQ(readAll("a\n\rb"), L({"a", "", "b"}));
    EXPECT_EQ(readAll("last line has no end"), L({"last line has no end"}));
    EXPECT_EQ(readAll(""), QStringList());
    EXPECT_EQ(readAll("\r\n"), L({""}));
}

TEST_F(ReportReaderTest, BlanksAndEveryByteOfALineAreKept)
{
    const QStringList lines = readAll(QByteArray("  x  \x98\x00\xC4\t\r\n", 10));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], QString::fromUtf16(u"  x  \u02DC\u0000\u00C4\t", 9));
}

TEST_F(ReportReaderTest, LinesAcrossBufferBoundariesAreWhole)
{
    // Lines of every length around the 64 KiB read size, and a CR LF split by it.
    for (int size : {65535, 65536, 65537, 100000}) {
        QByteArray first(size, 'x');
        first[0] = char(0x98);
        const QStringList lines = readAll(first + "\r\nsecond\r\n");
        ASSERT_EQ(lines.size(), 2) << size;
        EXPECT_EQ(lines[0].size(), size);
        EXPECT_EQ(lines[0][0].unicode(), 0x02DC);
        EXPECT_EQ(lines[1], QStringLiteral("second"));
    }
    const QStringList split = readAll(QByteArray(65535, 'y') + "\r\nz");
    EXPECT_EQ(split.size(), 2);
    EXPECT_EQ(split[1], QStringLiteral("z"));
}

TEST_F(ReportReaderTest, ReadingPastTheEndIsError62)
{
    ReportReader r;
    r.open(write(QStringLiteral("r.txt"), "only\r\n"));
    EXPECT_EQ(r.readLine(), QStringLiteral("only"));
    EXPECT_TRUE(r.atEnd());
    try {
        r.readLine();
        FAIL();
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.number(), 62);
    }
}

TEST_F(ReportReaderTest, OpeningFailuresNameThePath)
{
    ReportReader r;
    auto number = [&](const QString &p, QString *words = nullptr) {
        try {
            r.open(p);
        } catch (const zefto::Error &e) {
            if (words)
                *words = e.description();
            return e.number();
        }
        return 0;
    };
    QString words;
    EXPECT_EQ(number(path(QStringLiteral("missing.txt")), &words), 53);
    EXPECT_TRUE(words.contains(path(QStringLiteral("missing.txt"))));
    EXPECT_EQ(number(QString()), 75);
    EXPECT_EQ(number(path(QString()), &words), 75);
    EXPECT_TRUE(words.contains(QStringLiteral("directory")));
}

TEST_F(ReportReaderTest, CountingStopsAt32767Lines)
{
    EXPECT_EQ(ReportReader::countLines(write(QStringLiteral("a.txt"), QByteArray("x\r\n").repeated(32767))), 32767);
    EXPECT_EQ(ReportReader::countLines(write(QStringLiteral("b.txt"), "a\nb\rc\r\nd")), 4);
    try {
        ReportReader::countLines(write(QStringLiteral("c.txt"), QByteArray("\r\n").repeated(32768)));
        FAIL();
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_TRUE(e.description().contains(QStringLiteral("32,767")));
    }
}
