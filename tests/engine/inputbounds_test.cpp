// What a report's bytes may cost: huge lines and zero-filled tails are read
// in bounded memory, NUL bytes in stored columns stop the run, and a failed
// allocation in the reader is an error the run can report.
#include "reportreader.h"
#include "runfixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <sys/resource.h>

using zefto::ReportReader;
using zefto::RunOutcome;
using End = zefto::RunOutcome::End;
namespace layout = zefto::layout;

#ifndef ZEFTO_SANITIZED
// Allocation failure on demand: the sanitizers own operator new in their builds.
namespace {
std::atomic<int> allocationsBeforeFailure{-1};
}

void *operator new(std::size_t size)
{
    if (allocationsBeforeFailure.load() >= 0 && allocationsBeforeFailure.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
#endif

namespace {

constexpr qint64 MiB = 1024 * 1024;
// A line or a zero tail 512 times the reader's buffer: what is kept and counted of it, and how a
// run ends, are those of any longer one, which only takes longer to read.
constexpr qint64 beyondBuffers = 32 * MiB;
// Four times the converter's memory bound below, for the test of that bound.
constexpr qint64 huge = 256 * MiB;

// What Error 63 says about a report line.
const QString damaged = QStringLiteral("line %1 holds NUL bytes: the report is damaged");

// Writes head, then `zeros` zero bytes as a hole (no disk used), then tail.
QString sparse(const QString &file, const QByteArray &head, qint64 zeros, const QByteArray &tail)
{
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(head);
    EXPECT_TRUE(f.resize(head.size() + zeros));
    EXPECT_TRUE(f.seek(head.size() + zeros));
    f.write(tail);
    return file;
}

// A table of owner rows (fathers with Ğ, so a clean run says "Converted").
std::vector<QByteArray> ownerRows(int n)
{
    std::vector<QByteArray> rows;
    for (int i = 0; i < n; ++i) {
        report::Row r = report::sampleRow(i);
        r.father = QStringLiteral("DOĞAN");
        rows.push_back(report::ownerLine(r));
    }
    return rows;
}

// The report line number of table row i (0-based): the table starts at line 10.
int reportLineOf(int row)
{
    return layout::headerLines + 1 + row;
}

} // namespace

class InputBoundsTest : public RunTest {
protected:
    RunOutcome runTable(const std::vector<QByteArray> &table) { return run(report::paginate(table)); }

    // A run whose only difference from a clean one is row `row` of the table.
    RunOutcome runWithRow(int row, const QByteArray &line, int rows = 6)
    {
        std::vector<QByteArray> table = ownerRows(rows);
        table[size_t(row)] = line;
        window.boxes.clear();
        return runTable(table);
    }

    void expectDamagedAt(const RunOutcome &o, int line, int storedBefore, const std::string &what)
    {
        EXPECT_EQ(o.end, End::Failed) << what;
        EXPECT_EQ(o.errorNumber, 63) << what;
        EXPECT_EQ(o.errorDescription, damaged.arg(line)) << what;
        EXPECT_EQ(o.stoppedAtLine, line) << what;
        EXPECT_EQ(o.recordsStored, storedBefore) << what;
    }
};

// --- lines far longer than any column ------------------------------------

TEST_F(InputBoundsTest, AHugeLineKeepsItsStartAndItsTrueLength)
{
    const QString file = sparse(path(QStringLiteral("huge.txt")), "first\r\n", beyondBuffers, "\r\nlast");
    ReportReader r;
    r.open(file);
    EXPECT_EQ(r.readLine(), QStringLiteral("first"));
    EXPECT_EQ(r.lastLineLength(), 5);
    EXPECT_EQ(r.readLine(), QString(ReportReader::keptLineBytes, QChar(0)));
    EXPECT_EQ(r.lastLineLength(), beyondBuffers);
    EXPECT_EQ(r.readLine(), QStringLiteral("last"));
    EXPECT_EQ(r.lastLineLength(), 4);
    EXPECT_TRUE(r.atEnd());

    r.open(file);
    r.skipLine();
    EXPECT_EQ(r.skipLine(), beyondBuffers);
    EXPECT_EQ(r.lastLineLength(), beyondBuffers);
    EXPECT_EQ(ReportReader::countLines(file), 3);
}

TEST_F(InputBoundsTest, AZeroFilledTailAfterTheTableStillEndsConverted)
{
    const QByteArray text = report::join(report::paginate(ownerRows(30)));
    window.path = sparse(path(QStringLiteral("tail.txt")), text, beyondBuffers, QByteArray());
    const RunOutcome o = engine.Command1_Click();
    EXPECT_EQ(o.end, End::Converted) << o.message.toStdString();
    EXPECT_EQ(o.recordsStored, 30);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral("Converted"));
}

// --- NUL bytes --------------------------------------------------------------

// The fourteen columns as the report prints them: first and last position, 1-based.
constexpr std::pair<int, int> printed[] = {{8, 12},    {14, 19},   {21, 26},   {28, 35},   {37, 57},
                                           {59, 68},   {70, 88},   {90, 99},   {101, 110}, {112, 121},
                                           {131, 135}, {137, 138}, {140, 149}, {151, 161}};

TEST_F(InputBoundsTest, ANulInAnyColumnOfAnOwnerRowStopsTheRunAtThatLine)
{
    for (int c = 0; c < 14; ++c) {
        for (int pos : {printed[c].first, printed[c].second}) {
            QByteArray line = ownerRows(3)[2];
            line[pos - 1] = '\0';
            const qsizetype before = rows().size();
            const RunOutcome o = runWithRow(2, line);
            const std::string what = "column " + std::to_string(c + 1) + ", position " + std::to_string(pos);
            expectDamagedAt(o, reportLineOf(2), 2, what);
            EXPECT_EQ(rows().size() - before, 2) << what;
            expectUsable();
        }
    }
}

TEST_F(InputBoundsTest, TheOperatorIsToldTheLineAndWhatWasKept)
{
    QByteArray line = ownerRows(5)[4];
    line[40] = '\0';
    const RunOutcome o = runWithRow(4, line);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt,
              QStringLiteral("Error 63: line 14 holds NUL bytes: the report is damaged\n\n"
                             "Report: %1\nThe conversion stopped at line 14; 4 records were stored.")
                  .arg(path(QStringLiteral("report.txt"))));
    EXPECT_EQ(window.boxes[0].icon, zefto::MessageIcon::Critical);
    const auto stored = rows(QStringLiteral("yparsel"));
    ASSERT_EQ(stored.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(stored[i][0].toString().trimmed(), report::sampleRow(i).newParcel);
}

TEST_F(InputBoundsTest, AContinuationRowIsJudgedOnlyByTheColumnsItStores)
{
    const report::Row base = report::sampleRow(1);
    // Columns 1-10 of a continuation row come from the record before it: NULs there change nothing.
    QByteArray ignored = report::continuationLine(base);
    for (int c = 0; c < 10; ++c) {
        if (c == 4) // the owner column, blank, is what makes it a continuation row
            continue;
        for (int pos = printed[c].first; pos <= printed[c].second; ++pos)
            ignored[pos - 1] = '\0';
    }
    RunOutcome o = runWithRow(2, ignored);
    EXPECT_EQ(o.end, End::Converted) << o.message.toStdString();
    EXPECT_EQ(o.recordsStored, 6);
    const auto copied = rows(QStringLiteral("babaadi, epafta, yparsel"));
    ASSERT_EQ(copied.size(), 6);
    EXPECT_EQ(copied[2][0], copied[1][0]);
    EXPECT_EQ(copied[2][1], copied[1][1]);
    EXPECT_EQ(copied[2][2].toString().trimmed(), base.newParcel);

    for (int c = 10; c < 14; ++c) {
        QByteArray line = report::continuationLine(base);
        line[printed[c].first] = '\0'; // the column's second position
        o = runWithRow(2, line);
        expectDamagedAt(o, reportLineOf(2), 2, "column " + std::to_string(c + 1));
    }
}

TEST_F(InputBoundsTest, NulsWhereNothingIsStoredChangeNothing)
{
    // Positions outside every column: the margin, the gaps, past the last column.
    QByteArray owner = ownerRows(4)[3] + QByteArray(40, '\0');
    for (int pos : {1, 2, 7, 13, 20, 27, 36, 58, 69, 89, 100, 111, 122, 126, 130, 136, 139, 150, 162, 165, 180})
        owner[pos - 1] = '\0';
    QByteArray rule = report::ruleLine();
    QByteArray signature = report::signatureLine();
    for (int pos : {1, 8, 70, 100, 140, 151, 165}) {
        rule[pos - 1] = '\0';
        signature[pos - 1] = '\0';
    }
    std::vector<QByteArray> table = ownerRows(6);
    table[3] = owner;
    table.insert(table.begin() + 5, rule);
    table.insert(table.begin() + 6, signature);
    const RunOutcome o = runTable(table);
    EXPECT_EQ(o.end, End::Converted) << o.message.toStdString();
    EXPECT_EQ(o.recordsStored, 6);
    const auto stored = rows(QStringLiteral("yparsel"));
    ASSERT_EQ(stored.size(), 6);
    EXPECT_EQ(stored[3][0].toString().trimmed(), report::sampleRow(3).newParcel);
}

TEST_F(InputBoundsTest, ANulBeyondTheKeptStartOfALongLineIsNeverSeen)
{
    QByteArray line = ownerRows(3)[2] + QByteArray(2 * ReportReader::keptLineBytes, 'x');
    line[ReportReader::keptLineBytes + 10] = '\0';
    const RunOutcome o = runWithRow(2, line);
    EXPECT_EQ(o.end, End::Converted) << o.message.toStdString();
    EXPECT_EQ(o.recordsStored, 6);
}

// --- memory, measured in a child process -------------------------------------

TEST_F(InputBoundsTest, TheConverterHoldsAHugeLineAndAZeroTailInFewMegabytes)
{
#ifdef ZEFTO_SANITIZED
    GTEST_SKIP() << "the sanitizers' shadow memory makes resident size meaningless";
#else
    // The reports on a memory file system where there is one: a hole is read there without a page
    // zeroed for it, so reading them costs the converter's own work alone.
    const QTemporaryDir memory(QStringLiteral("/dev/shm/zefto-bounds-XXXXXX"));
    const auto report = [&](const char *name) {
        return memory.isValid() ? memory.filePath(QString::fromLatin1(name)) : path(QString::fromLatin1(name));
    };
    const QByteArray text = report::join(report::paginate(ownerRows(30)));
    sparse(report("tail.txt"), text, huge, QByteArray());
    std::vector<QByteArray> lines = report::paginate(ownerRows(30));
    const QByteArray head = report::join(std::vector<QByteArray>(lines.begin(), lines.begin() + 11));
    sparse(report("line.txt"), head + ownerRows(3)[2], huge,
           "\r\n" + report::join(std::vector<QByteArray>(lines.begin() + 12, lines.end())));

    for (const char *name : {"tail.txt", "line.txt"}) {
        QProcess p;
        p.setWorkingDirectory(path(QString()));
        p.start(QStringLiteral(ZEFTO_CONVERT),
                {QStringLiteral("--database"), path(QStringLiteral("m.mdb")), report(name)});
        ASSERT_TRUE(p.waitForFinished(-1));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_EQ(p.exitCode(), 0) << name << ": " << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral(": Converted\n"))) << name << ": " << out.toStdString();
    }
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    RecordProperty("largestChildPeakKiB", int(usage.ru_maxrss));
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "KiB at the peak of the largest child";
#endif
}

// --- allocation failure -------------------------------------------------------

TEST_F(InputBoundsTest, EveryFailedAllocationInTheReaderIsError7)
{
#ifdef ZEFTO_SANITIZED
    GTEST_SKIP() << "operator new belongs to the sanitizers in this build";
#else
    const QString file = write(QStringLiteral("r.txt"), report::join(report::paginate(ownerRows(3))));
    const auto failingAt = [](int n, const std::function<void()> &f, QString *words) {
        allocationsBeforeFailure = n;
        const int e = errorNumber(f, words);
        allocationsBeforeFailure = -1;
        return e;
    };
    ReportReader r;
    int failures = 0;
    for (int n = 0;; ++n) {
        QString words;
        const int e = failingAt(
            n, [&] { r.open(file); }, &words);
        if (e == 0)
            break;
        ++failures;
        EXPECT_EQ(e, 7) << "allocation " << n;
        EXPECT_EQ(words, QStringLiteral("Out of memory")) << "allocation " << n;
        EXPECT_FALSE(r.isOpen());
    }
    EXPECT_GT(failures, 0);
    EXPECT_EQ(r.skipLine(), report::headerLine(1).size());

    int counted = 0;
    for (int n = 0;; ++n) {
        QString words;
        const int e = failingAt(
            n, [&] { counted = ReportReader::countLines(file); }, &words);
        if (e == 0)
            break;
        EXPECT_EQ(e, 7) << "allocation " << n;
        EXPECT_EQ(words, QStringLiteral("Out of memory")) << "allocation " << n;
    }
    EXPECT_EQ(counted, int(report::paginate(ownerRows(3)).size()));
#endif
}
