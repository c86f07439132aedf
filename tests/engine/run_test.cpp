#include "runfixture.h"
#include <gtest/gtest.h>

using zefto::MessageIcon;
using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

// The report of a typical run: owner rows up to line 95, a rule row at 96,
// the signature row at 97, a blank line at 98, then blank lines to 130.
std::vector<QByteArray> typical(std::vector<QByteArray> lines)
{
    lines[95] = report::ruleLine();
    lines[96] = report::signatureLine();
    for (int i = 98; i <= 130; ++i)
        lines[i - 1] = zefto::layout::inDataBlock(i) ? QByteArray() : report::headerLine(i);
    return lines;
}

QStringList lineNumbersStored(const QList<QVariantList> &rows)
{
    QStringList out;
    for (const auto &r : rows)
        out << r[1].toString();
    return out;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, BackendRunTest, ::testing::Values(Backend::File, Backend::Postgres), backendName);

TEST_P(BackendRunTest, ATypicalReportWithAGInAFathersNameEndsConverted)
{
    const RunOutcome o = run(typical(pages(130, true)));
    EXPECT_EQ(o.end, End::Converted);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral("Converted"));
    EXPECT_EQ(window.boxes[0].icon, MessageIcon::Information);
    EXPECT_EQ(o.errorNumber, 3315);

    // Every line of the conversion pass moved the bar once: 1..98, so 10 after
    // the header, 60 after the first block, 73 after the first gap.
    EXPECT_EQ(window.max, 130);
    ASSERT_EQ(window.values.size(), 98u);
    for (size_t i = 0; i < window.values.size(); ++i)
        EXPECT_EQ(window.values[i], float(i + 1));
    EXPECT_EQ(o.linesRead, 98);
    EXPECT_EQ(o.stoppedAtLine, 98);

    QStringList expected;
    for (int i = 10; i <= 59; ++i)
        expected << QString::number(i);
    for (int i = 73; i <= 95; ++i)
        expected << QString::number(i);
    EXPECT_EQ(lineNumbersStored(rows()), expected);
    EXPECT_EQ(o.recordsStored, 73);

    EXPECT_EQ(engine.stt, 0);
    EXPECT_FALSE(engine.db.isOpen());
    expectUsable();
}

TEST_P(BackendRunTest, TheSameReportWithoutAGRepairIsAnInvalidFileAndKeepsItsRows)
{
    const RunOutcome o = run(typical(pages(130, false)));
    EXPECT_EQ(o.end, End::InvalidFile);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral(" Invalid file "));
    EXPECT_EQ(window.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(rows().size(), 73);
    EXPECT_EQ(engine.stt, 98);
    expectUsable();
}

TEST_P(BackendRunTest, OnlyAFathersGCountsNotAnOwners)
{
    auto lines = typical(pages(130, false));
    report::Row r = report::sampleRow(3);
    r.owner = QStringLiteral("DAĞ KAYA");
    lines[20] = report::ownerLine(r);
    EXPECT_EQ(run(lines).end, End::InvalidFile);
}

TEST_P(BackendRunTest, TheEndOfTheFileAfterABlockEndsLikeTheEndOfTheTable)
{
    // 123 lines: the file ends exactly at the first line of the second gap.
    RunOutcome o = run(pages(123, true));
    EXPECT_EQ(o.end, End::Converted);
    EXPECT_EQ(o.errorNumber, 0);
    EXPECT_EQ(rows().size(), 100);
    expectUsable();

    o = run(pages(60, false));
    EXPECT_EQ(o.end, End::InvalidFile);
    EXPECT_EQ(window.boxes.back().prompt, QStringLiteral(" Invalid file "));
    EXPECT_EQ(rows().size(), 150);
    expectUsable();
}

TEST_P(BackendRunTest, AReportEndingInsideAGapOrTheHeaderFailsWithItsLineAndCount)
{
    RunOutcome o = run(pages(65, true));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 62);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("Error 62: Input past end of file")));
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("line 65")));
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("50 records were stored")));
    EXPECT_TRUE(window.boxes[0].prompt.contains(path(QStringLiteral("report.txt"))));
    EXPECT_EQ(rows().size(), 50);
    expectUsable();

    for (int n : {1, 5, 9}) {
        o = run(pages(n));
        EXPECT_EQ(o.end, End::Failed) << n;
        EXPECT_EQ(o.errorNumber, 62);
        EXPECT_EQ(o.recordsStored, 0);
    }
    EXPECT_EQ(rows().size(), 50);
    expectUsable();
}

TEST_P(BackendRunTest, ABlankLineInsideTheTableBeforeLaterDataIsNotCalledConverted)
{
    auto lines = typical(pages(130, true));
    lines[29] = QByteArray();
    const RunOutcome o = run(lines);
    EXPECT_EQ(o.end, End::Incomplete);
    EXPECT_EQ(o.errorNumber, 3315);
    EXPECT_EQ(o.stoppedAtLine, 30);
    EXPECT_EQ(o.recordsStored, 20);
    EXPECT_EQ(o.unconvertedDataLines, 29 + 23); // lines 31-59 and 73-95
    ASSERT_EQ(window.boxes.size(), 1u);
    const auto &box = window.boxes[0];
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("line 30")));
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("a required column is empty")));
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("20 records were stored")));
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("52 later data line")));
    EXPECT_EQ(rows().size(), 20);
    expectUsable();
}

TEST_P(BackendRunTest, ABlankLineThatEndsTheTableEarlyIsStillANormalEnd)
{
    // Nothing after line 30 that would have been stored: short lines and signature only.
    auto lines = pages(130, true);
    for (int i = 30; i <= 130; ++i)
        if (zefto::layout::inDataBlock(i))
            lines[i - 1] = i == 31 ? report::signatureLine() : QByteArray("   closing remarks");
    const RunOutcome o = run(lines);
    EXPECT_EQ(o.end, End::Converted);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral("Converted"));
    EXPECT_EQ(rows().size(), 20);
}

TEST_P(BackendRunTest, ASecondRunAfterConvertedOpensTheSameDatabaseAgain)
{
    const auto lines = typical(pages(130, true));
    EXPECT_EQ(run(lines).end, End::Converted);
    EXPECT_FALSE(engine.db.isOpen());
    // The lists move the current directory; the run must not follow it.
    QDir().mkdir(path(QStringLiteral("elsewhere")));
    QDir::setCurrent(path(QStringLiteral("elsewhere")));
    window.path = path(QStringLiteral("report.txt"));
    const RunOutcome second = engine.Command1_Click();
    EXPECT_EQ(second.end, End::Converted);
    EXPECT_EQ(second.recordsStored, 73);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("elsewhere/ovrek1.mdb"))));
    EXPECT_EQ(rows().size(), 146);
}

TEST_P(BackendRunTest, ProblemsFoundBeforeConvertingNameThePathAndWriteNothing)
{
    QDir().mkdir(path(QStringLiteral("folder")));
    write(QStringLiteral("empty.txt"), QByteArray());
    write(QStringLiteral("long.txt"), QByteArray("\r\n").repeated(32768));
    struct Case {
        QString path;
        int number;
        QString words;
    } cases[] = {
        {QString(), 75, QStringLiteral("No report file was named")},
        {path(QStringLiteral("missing.txt")), 53, path(QStringLiteral("missing.txt"))},
        {path(QStringLiteral("folder")), 75, path(QStringLiteral("folder"))},
        {path(QStringLiteral("empty.txt")), 62, QStringLiteral("is empty")},
        {path(QStringLiteral("long.txt")), 6, QStringLiteral("more than 32,767 lines")},
    };
    for (const Case &c : cases) {
        window.boxes.clear();
        window.path = c.path;
        const RunOutcome o = engine.Command1_Click();
        EXPECT_EQ(o.end, End::NotStarted) << c.path.toStdString();
        EXPECT_EQ(o.errorNumber, c.number) << c.path.toStdString();
        ASSERT_EQ(window.boxes.size(), 1u);
        EXPECT_EQ(window.boxes[0].icon, MessageIcon::Critical);
        EXPECT_TRUE(window.boxes[0].prompt.contains(c.words)) << window.boxes[0].prompt.toStdString();
        expectUsable();
    }
    EXPECT_TRUE(window.values.empty());
    EXPECT_EQ(rows().size(), 0);
}

TEST_F(RunTest, ADatabaseThatCannotBeOpenedAgainIsReportedBeforeConverting)
{
    EXPECT_EQ(run(typical(pages(130, true))).end, End::Converted);
    QFile::remove(path(QStringLiteral("ovrek1.mdb")));
    QDir().mkdir(path(QStringLiteral("ovrek1.mdb"))); // now a directory
    const RunOutcome o = engine.Command1_Click();
    EXPECT_EQ(o.end, End::NotStarted);
    EXPECT_TRUE(window.boxes.back().prompt.contains(path(QStringLiteral("ovrek1.mdb"))));
    expectUsable();
}

TEST_P(BackendRunTest, LineEndingsDoNotChangeTheResult)
{
    for (const QByteArray &eol : {QByteArray("\n"), QByteArray("\r")}) {
        const RunOutcome o = run(typical(pages(130, true)), eol);
        EXPECT_EQ(o.end, End::Converted);
        EXPECT_EQ(o.recordsStored, 73);
    }
}
