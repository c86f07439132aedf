#include "error.h"
#include "errornumber.h"
#include "filename.h"
#include "reportreader.h"
#include "tempdir.h"

#include <QCryptographicHash>
#include <QDir>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using zefto::ReportReader;

static QStringList L(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromLatin1(i);
    return out;
}

// n bytes of printable ASCII that never repeat at a short period.
static QByteArray pattern(qsizetype n)
{
    QByteArray out(n, ' ');
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char('!' + (i * 7 + i / 94) % 94);
    return out;
}

// The Error number f throws. Should f block on the FIFO (a reader that opens
// or reads it waiting for a writer), a writer comes and goes so the test ends.
static int withoutBlocking(const QString &fifo, const std::function<void()> &f, QString *words)
{
    auto done = std::async(std::launch::async, [&] { return errorNumber(f, words); });
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
        ADD_FAILURE() << "blocked on " << fifo.toStdString();
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    return done.get();
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

TEST_F(ReportReaderTest, LinesAcrossBufferBoundariesKeepTheirStartAndTheirLength)
{
    // Lines of every length around the 64 KiB read size, and a CR LF split by it.
    for (int size : {65535, 65536, 65537, 100000}) {
        QByteArray first = pattern(size);
        first[0] = char(0x98);
        ReportReader r;
        r.open(write(QStringLiteral("r.txt"), first + "\r\nsecond\r\n"));
        const QString kept = r.readLine();
        EXPECT_EQ(kept.size(), ReportReader::keptLineBytes) << size;
        EXPECT_EQ(kept[0].unicode(), 0x02DC) << size;
        EXPECT_EQ(kept.mid(1), QString::fromLatin1(first.mid(1, ReportReader::keptLineBytes - 1))) << size;
        EXPECT_EQ(r.lastLineLength(), size);
        EXPECT_EQ(r.readLine(), QStringLiteral("second")) << size;
        EXPECT_TRUE(r.atEnd()) << size;
    }
    const QStringList split = readAll(QByteArray(65535, 'y') + "\r\nz");
    EXPECT_EQ(split.size(), 2);
    EXPECT_EQ(split[1], QStringLiteral("z"));
}

TEST_F(ReportReaderTest, ALineKeepsAtMostItsFirstBytesButReportsItsTrueLength)
{
    const qsizetype kept = ReportReader::keptLineBytes;
    ASSERT_GE(kept, 162); // every column and the full-line test must fit
    for (qsizetype size : {qsizetype(161), kept - 1, kept, kept + 1, 3 * kept}) {
        for (const QByteArray &eol : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r"), QByteArray()}) {
            const QByteArray line = pattern(size);
            ReportReader r;
            r.open(write(QStringLiteral("r.txt"), line + eol + (eol.isEmpty() ? QByteArray() : "next")));
            EXPECT_EQ(r.readLine(), QString::fromLatin1(line.left(kept))) << size;
            EXPECT_EQ(r.lastLineLength(), size);
            if (!eol.isEmpty()) {
                EXPECT_EQ(r.readLine(), QStringLiteral("next")) << size;
                EXPECT_EQ(r.lastLineLength(), 4);
            }
            EXPECT_TRUE(r.atEnd()) << size;
            r.open(path(QStringLiteral("r.txt")));
            EXPECT_EQ(r.skipLine(), size);
            EXPECT_EQ(r.lastLineLength(), size);
        }
    }
}

TEST_F(ReportReaderTest, TheKeptStartOfALineIsWholeAcrossARefill)
{
    // The second line starts 6 bytes before the first 64 KiB read ends.
    const QByteArray second = pattern(3 * ReportReader::keptLineBytes);
    ReportReader r;
    r.open(write(QStringLiteral("r.txt"), QByteArray(65529, 'x') + '\n' + second + "\r\nthird"));
    EXPECT_EQ(r.skipLine(), 65529);
    EXPECT_EQ(r.readLine(), QString::fromLatin1(second.left(ReportReader::keptLineBytes)));
    EXPECT_EQ(r.lastLineLength(), second.size());
    EXPECT_EQ(r.readLine(), QStringLiteral("third"));
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
    EXPECT_EQ(words, QStringLiteral("File not found: '%1'.").arg(path(QStringLiteral("missing.txt"))));
    EXPECT_EQ(number(QString(), &words), 75);
    EXPECT_EQ(words, QStringLiteral("No report file was named."));
    EXPECT_EQ(number(path(QString()), &words), 75);
    EXPECT_EQ(words,
              QStringLiteral("'%1' is a directory, not a report file.").arg(QDir(path(QString())).absolutePath()));
    // Relative names are shown resolved, as the operator can look them up.
    EXPECT_EQ(number(QStringLiteral("missing.txt"), &words), 53);
    EXPECT_EQ(words, QStringLiteral("File not found: '%1'.").arg(path(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(r.isOpen());
}

// A FIFO, a device or a socket could block the reader or never end: each is
// refused from its type alone, before a byte is read.
TEST_F(ReportReaderTest, OnlyRegularFilesAreReports)
{
    const QString fifo = path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = path(QStringLiteral("socket"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(socketName.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.constData(), size_t(socketName.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ASSERT_TRUE(QFile::link(fifo, path(QStringLiteral("link-to-pipe"))));

    QStringList refused = {fifo, path(QStringLiteral("link-to-pipe")), socketPath, QStringLiteral("/dev/zero"),
                           QStringLiteral("/dev/null")};
    for (const QString &device : {QStringLiteral("/dev/loop0"), QStringLiteral("/dev/vda"), QStringLiteral("/dev/sda")})
        if (QFileInfo(device).exists()) {
            refused << device; // a block device, where the machine has one
            break;
        }
    for (const QString &p : refused) {
        for (bool counting : {false, true}) {
            ReportReader r;
            QString words;
            const int number = withoutBlocking(
                fifo,
                [&] {
                    if (counting)
                        ReportReader::countLines(p);
                    else
                        r.open(p);
                },
                &words);
            EXPECT_EQ(number, 75) << p.toStdString();
            EXPECT_EQ(words, QStringLiteral("'%1' is not a regular file.").arg(p));
            EXPECT_FALSE(r.isOpen());
        }
    }
    ::close(sock);

    // A link to a report is the report.
    const QString report = write(QStringLiteral("r.txt"), "a\r\nb\r\n");
    ASSERT_TRUE(QFile::link(report, path(QStringLiteral("link-to-report"))));
    EXPECT_EQ(ReportReader::countLines(path(QStringLiteral("link-to-report"))), 2);
}

TEST_F(ReportReaderTest, ANameLostInDecodingIsError52NotAMissingFile)
{
    // The bytes "caf\xE9" are Latin-1, not UTF-8: decoded, the name holds U+FFFD and names nothing.
    const QByteArray raw = QFile::encodeName(path(QString())) + "/caf\xE9.txt";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    // Qt cannot name this file to remove it with the directory.
    const std::unique_ptr<const char, void (*)(const char *)> removal(raw.constData(),
                                                                      [](const char *n) { ::unlink(n); });
    ASSERT_EQ(::write(fd, "x\r\n", 3), 3);
    ::close(fd);
    const QString decoded = QFile::decodeName(raw);
    ASSERT_TRUE(decoded.contains(QChar::ReplacementCharacter));

    const QString expected =
        QStringLiteral("The name '%1' is not valid in this system's file-name encoding; rename the file.").arg(decoded);
    ReportReader r;
    QString words;
    EXPECT_EQ(errorNumber([&] { r.open(decoded); }, &words), 52);
    EXPECT_EQ(words, expected);
    EXPECT_EQ(errorNumber([&] { ReportReader::countLines(decoded); }, &words), 52);
    EXPECT_EQ(words, expected);
    EXPECT_EQ(errorNumber([&] { r.open(QStringLiteral("caf\uFFFD.txt")); }, &words), 52);
    EXPECT_EQ(words, expected);

    // A name that really holds U+FFFD (its UTF-8 bytes) is an ordinary file.
    const QString honest = write(QStringLiteral("odd\uFFFDname.txt"), "a\r\nb");
    EXPECT_EQ(ReportReader::countLines(honest), 2);
    EXPECT_EQ(errorNumber([&] { r.open(path(QStringLiteral("gone\uFFFD.txt"))); }, &words), 52);
    EXPECT_EQ(errorNumber([&] { r.open(path(QStringLiteral("gone.txt"))); }, &words), 53);
}

TEST(FileName, AllowsOnlyNamesThatComeBackByteForByte)
{
    EXPECT_TRUE(zefto::survivesFileNameEncoding("report.txt"));
    EXPECT_TRUE(zefto::survivesFileNameEncoding("/tmp/r\xC3\xBCsum\xC3\xA9.txt")); // UTF-8
    EXPECT_TRUE(zefto::survivesFileNameEncoding(QByteArray()));
    EXPECT_FALSE(zefto::survivesFileNameEncoding("caf\xE9.txt"));
    EXPECT_FALSE(zefto::survivesFileNameEncoding("\xC3"));         // cut inside a character
    EXPECT_FALSE(zefto::survivesFileNameEncoding("\xED\xA0\x80")); // a surrogate
    EXPECT_EQ(zefto::undecodableNameMessage(QStringLiteral("a\uFFFD")),
              QStringLiteral("The name 'a\uFFFD' is not valid in this system's file-name encoding; rename the file."));
}

TEST_F(ReportReaderTest, OnlyAMissingNameWithAReplacementCharacterLooksUndecodable)
{
    EXPECT_TRUE(zefto::looksUndecodable(path(QStringLiteral("x\uFFFD.txt"))));
    EXPECT_FALSE(zefto::looksUndecodable(path(QStringLiteral("x.txt"))));
    EXPECT_FALSE(zefto::looksUndecodable(write(QStringLiteral("y\uFFFD.txt"), "z")));
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

TEST_F(ReportReaderTest, TheSurveyCountsAsCountLinesDoesAndHashesEveryByteItRead)
{
    // A CR LF split by the 64 KiB refill, a last line without terminator, nothing at all.
    QByteArray split = pattern(64 * 1024 - 1) + "\r\n" + pattern(150 * 1024) + "\n\rx";
    const QList<QByteArray> reports = {QByteArray(), "a\nb\rc\r\nd", split, QByteArray("y\r\n").repeated(32767)};
    int i = 0;
    for (const QByteArray &bytes : reports) {
        const QString file = write(QStringLiteral("s%1.txt").arg(i++), bytes);
        const ReportReader::Survey s = ReportReader::survey(file);
        EXPECT_EQ(s.lines, ReportReader::countLines(file)) << i;
        EXPECT_EQ(s.size, bytes.size()) << i;
        EXPECT_EQ(s.sha256, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()))
            << i;
    }
    QString words;
    EXPECT_EQ(
        errorNumber([&] { ReportReader::survey(write(QStringLiteral("long.txt"), QByteArray("\n").repeated(32768))); },
                    &words),
        6);
    EXPECT_TRUE(words.contains(QStringLiteral("32,767")));
}
