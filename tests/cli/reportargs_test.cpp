#include "error.h"
#include "errornumber.h"
#include "reportargs.h"
#include "reportreader.h"
#include "tempdir.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using zefto::cli::ReportInput;
using zefto::cli::undecodableFileArgument;

namespace {

QString badName(const QByteArray &raw)
{
    return QStringLiteral("The name '%1' is not valid in this system's file-name encoding; rename the file.")
        .arg(QFile::decodeName(raw));
}

// n bytes of report-like text: numbered CR LF lines as long as data lines.
QByteArray text(qsizetype n)
{
    QByteArray out;
    for (int i = 0; out.size() < n; ++i)
        out += "line " + QByteArray::number(i).rightJustified(160, '.') + "\r\n";
    out.truncate(n);
    return out;
}

// A pipe whose write end a thread fills with `bytes`, then closes.
class FedPipe {
public:
    explicit FedPipe(QByteArray bytes) : m_bytes(std::move(bytes))
    {
        if (::pipe(m_fds) != 0)
            ADD_FAILURE() << "no pipe";
        m_writer = std::thread([this] {
            // A reader that stops early makes write fail with EPIPE, not kill the tests.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            for (qsizetype done = 0; done < m_bytes.size();) {
                const ssize_t n = ::write(m_fds[1], m_bytes.constData() + done, size_t(m_bytes.size() - done));
                if (n <= 0)
                    break;
                done += n;
            }
            ::close(m_fds[1]);
        });
    }
    ~FedPipe()
    {
        ::close(m_fds[0]);
        m_writer.join();
    }
    int readEnd() const { return m_fds[0]; }

private:
    QByteArray m_bytes;
    int m_fds[2] = {-1, -1};
    std::thread m_writer;
};

// Puts a descriptor in the place of standard input for the object's life.
class StandardInputFrom {
public:
    explicit StandardInputFrom(int fd) : m_saved(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
    ~StandardInputFrom()
    {
        ::dup2(m_saved, STDIN_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

} // namespace

// --- names whose bytes do not survive decoding ------------------------------

TEST(UndecodableFileArgument, EveryFileNameIsCheckedAndTheFirstBadOneNamed)
{
    const QByteArray latin1("caf\xE9.txt");
    const QByteArray cut("r\xC3.txt");
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "a.txt", "b\xC3\xBC.txt", "-", "--list"}), QString());
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "a.txt", latin1, cut}), badName(latin1));
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "--database", cut, latin1}), badName(cut));
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "--database=" + cut, "a.txt"}), badName(cut));
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "--list", "--database", "ok.mdb", "--", "-x" + latin1}),
              badName("-x" + latin1));
    // The program's own name is not a file the run uses.
    EXPECT_EQ(undecodableFileArgument({"zefto\xE9", "a.txt"}), QString());
}

TEST(UndecodableFileArgument, OptionsAreLeftToTheParser)
{
    // An unknown option is the parser's to reject, whatever its bytes.
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "--bogus\xFF", "a.txt"}), QString());
    // A --database with nothing after it names no file either.
    EXPECT_EQ(undecodableFileArgument({"zefto-convert", "a.txt", "--database"}), QString());
}

TEST(UndecodableFileArgument, ArgvAsMainGetsItGivesTheSameAnswer)
{
    char program[] = "zefto-convert", option[] = "--database", database[] = "d\xE9.mdb", report[] = "r.txt";
    char *argv[] = {program, option, database, report, nullptr};
    EXPECT_EQ(undecodableFileArgument(4, argv), badName(database));
    EXPECT_EQ(undecodableFileArgument(2, argv), QString());
}

// --- standard input ------------------------------------------------------------

TEST(ReportInput, ANamedReportIsUsedAsItIs)
{
    const ReportInput input(QStringLiteral("reports/a.txt"));
    EXPECT_FALSE(input.isStandardInput());
    EXPECT_EQ(input.path(), QStringLiteral("reports/a.txt"));
    EXPECT_EQ(input.displayName(), QStringLiteral("reports/a.txt"));
}

TEST(ReportInput, ADashSpoolsStandardInputIntoAFileTheRunCanReadTwice)
{
    // Larger than a pipe's buffer and than one copy step, so the copy loops.
    const QByteArray bytes = text(3 * 1024 * 1024 + 17);
    QString spooled;
    {
        FedPipe pipe(bytes);
        const ReportInput input(QStringLiteral("-"), pipe.readEnd());
        EXPECT_TRUE(input.isStandardInput());
        EXPECT_EQ(input.displayName(), QStringLiteral("standard input"));
        EXPECT_EQ(input.displayName(), ReportInput::standardInputName());
        spooled = input.path();
        EXPECT_NE(spooled, QStringLiteral("-"));
        EXPECT_EQ(contents(spooled), bytes);
        const int lines = int(bytes.count('\n')) + 1;
        EXPECT_EQ(zefto::ReportReader::countLines(spooled), lines);
        EXPECT_EQ(zefto::ReportReader::countLines(spooled), lines);
    }
    EXPECT_FALSE(QFile::exists(spooled)) << "the copy outlived its input";
}

TEST(ReportInput, AnEmptyStandardInputIsAnEmptyReport)
{
    FedPipe pipe{QByteArray()};
    const ReportInput input(QStringLiteral("-"), pipe.readEnd());
    EXPECT_TRUE(QFile::exists(input.path()));
    EXPECT_EQ(contents(input.path()), QByteArray());
    EXPECT_EQ(zefto::ReportReader::countLines(input.path()), 0);
}

TEST(ReportInput, OnlyInputAndOutputFailuresAreRefused)
{
    // Reading fails: a descriptor that cannot be read.
    QTemporaryDir dir;
    const int directory = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(directory, 0);
    QString words;
    EXPECT_EQ(errorNumber([&] { ReportInput(QStringLiteral("-"), directory); }, &words), 57);
    EXPECT_EQ(words, QStringLiteral("Cannot read standard input: Is a directory."));
    ::close(directory);

    // Writing fails: the copy may not grow past 64 KiB.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int number;
    {
        FedPipe pipe(text(1024 * 1024));
        number = errorNumber([&] { ReportInput(QStringLiteral("-"), pipe.readEnd()); }, &words);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(number, 57);
    EXPECT_TRUE(words.startsWith(QStringLiteral("Cannot copy standard input into '"))) << words.toStdString();
    EXPECT_TRUE(words.endsWith(QStringLiteral("': File too large."))) << words.toStdString();
    EXPECT_FALSE(QFile::exists(words.section(u'\'', 1, 1))) << "a partial copy was left behind";

    // No temporary file can be made: TMPDIR names a file, or nothing.
    const QByteArray tmp = qgetenv("TMPDIR");
    const bool hadTmp = qEnvironmentVariableIsSet("TMPDIR");
    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    QFile(notAFolder).open(QIODevice::WriteOnly);
    const QString missing = dir.filePath(QStringLiteral("missing"));
    QStringList said;
    QList<int> numbers;
    for (const QString &folder : {notAFolder, missing}) {
        qputenv("TMPDIR", QFile::encodeName(folder));
        FedPipe pipe(text(10));
        numbers << errorNumber([&] { ReportInput(QStringLiteral("-"), pipe.readEnd()); }, &words);
        said << words;
    }
    if (hadTmp)
        qputenv("TMPDIR", tmp);
    else
        qunsetenv("TMPDIR");
    EXPECT_EQ(numbers, QList<int>({75, 75}));
    EXPECT_EQ(
        said,
        QStringList({QStringLiteral("Cannot create a temporary file in '%1' for standard input: Not a directory.")
                         .arg(notAFolder),
                     QStringLiteral("Cannot create a temporary file for standard input: TMPDIR '%1' is not a folder.")
                         .arg(missing)}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("file")}));
    EXPECT_TRUE(QDir::current().entryList({QStringLiteral("zefto-stdin-*")}).isEmpty());
}

// "/dev/stdin" is a path like any other: a file behind it is read as that
// file, a pipe behind it is refused rather than read once and lost.
TEST(ReportInput, DevStdinIsReadWhenItIsAFileAndRefusedWhenItIsAPipe)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.txt"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("a\r\nb\r\nc");
    }
    const ReportInput input(QStringLiteral("/dev/stdin"));
    EXPECT_FALSE(input.isStandardInput());
    EXPECT_EQ(input.path(), QStringLiteral("/dev/stdin"));
    {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        StandardInputFrom redirect(fd);
        ::close(fd);
        EXPECT_EQ(zefto::ReportReader::countLines(input.path()), 3);
        EXPECT_EQ(zefto::ReportReader::countLines(input.path()), 3);
    }
    FedPipe pipe(text(100));
    StandardInputFrom redirect(pipe.readEnd());
    QString words;
    EXPECT_EQ(errorNumber([&] { zefto::ReportReader::countLines(input.path()); }, &words), 75);
    EXPECT_EQ(words, QStringLiteral("'/dev/stdin' is not a regular file."));
}
