#include "runfixture.h"
#include "valueprinter.h"

#include <QLocale>
#include <gtest/gtest.h>

using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

// A one-page report: the given table lines at 10 onwards, then a blank line.
std::vector<QByteArray> onePage(const std::vector<QByteArray> &table)
{
    std::vector<QByteArray> lines;
    for (int i = 1; i <= 9; ++i)
        lines.push_back(report::headerLine(i));
    for (const QByteArray &l : table)
        lines.push_back(l);
    lines.push_back(QByteArray());
    return lines;
}

report::Row row(const char16_t *owner, const char16_t *father, const char *oldShare, const char *newShare)
{
    report::Row r;
    r.owner = QString::fromUtf16(owner);
    r.father = QString::fromUtf16(father);
    r.oldShare = QString::fromLatin1(oldShare);
    r.newShare = QString::fromLatin1(newShare);
    return r;
}

} // namespace

TEST_F(RunTest, ContinuationRowsRepeatTheOwnerAndOldSideOfTheRecordBefore)
{
    report::Row owner = row(u"ÜST IŞIK", u"DOĞAN", "3/8", "1/2");
    owner.oldArea = QStringLiteral("1250.50");
    report::Row next = owner;
    next.newBlock = QStringLiteral("207");
    next.newShare = QStringLiteral("  250/1000");
    next.oldArea = QStringLiteral("999"); // ignored: read back from the record before
    next.father = QStringLiteral("XXX");
    report::Row third = next;
    third.newParcel = QStringLiteral("9");
    const RunOutcome o = run(onePage({report::ownerLine(owner), report::continuationLine(next),
                                      report::continuationLine(third)}));
    EXPECT_EQ(o.end, End::Converted);
    const auto r = rows(QStringLiteral("adi, soyadi, babaadi, ehispay, ehispayda, ealan, yada, yhispay, "
                                       "\"hisyuzolçumu\", yparsel"));
    ASSERT_EQ(r.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r[i][0].toString(), QStringLiteral("Üst"));
        EXPECT_EQ(r[i][1].toString(), QStringLiteral("Işık"));
        EXPECT_EQ(r[i][2].toString(), QStringLiteral("Doğan     "));
        EXPECT_EQ(r[i][3].toString(), QStringLiteral("        3"));
        EXPECT_EQ(r[i][4].toString(), QStringLiteral("8        "));
        EXPECT_EQ(r[i][5].toDouble(), 1250.5);
    }
    EXPECT_EQ(r[1][6].toString(), QStringLiteral("  207"));
    EXPECT_EQ(r[1][7].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[1][8].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[2][9].toString(), QStringLiteral(" 9"));
}

TEST_F(RunTest, AContinuationRowAtTheTopOfABlockRepeatsTheRecordOfTheBlockBefore)
{
    auto lines = pages(130, true);
    report::Row last = report::sampleRow(1);
    last.owner = QStringLiteral("SON MALİK");
    lines[58] = report::ownerLine(last);          // line 59, last of block 1
    lines[72] = report::continuationLine(last);   // line 73, first of block 2
    lines[96] = QByteArray();
    run(lines);
    const auto r = rows();
    ASSERT_GE(r.size(), 52);
    EXPECT_EQ(r[49][0].toString(), QStringLiteral("Son"));
    EXPECT_EQ(r[50][0].toString(), QStringLiteral("Son"));
    EXPECT_EQ(r[50][1].toString(), QStringLiteral("Malik"));
}

TEST_F(RunTest, AContinuationRowFirstInAnEmptyTableFailsWithNoCurrentRecord)
{
    const RunOutcome o = run(onePage({report::continuationLine(report::sampleRow(0))}));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 3021);
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("No current record.")));
    EXPECT_TRUE(window.boxes[0].prompt.contains(QStringLiteral("line 10")));
    expectUsable();
}

TEST_F(RunTest, SharesWithoutASlashKeepTheSplitOfTheRowBefore)
{
    const RunOutcome o = run(onePage({report::ownerLine(row(u"BİR KİŞİ", u"DAĞ", "", "12")),
                                      report::ownerLine(row(u"İKİ KİŞİ", u"ALİ", "5/6", "    1/1")),
                                      report::ownerLine(row(u"ÜÇ KİŞİ", u"ALİ", "7", "12"))}));
    EXPECT_EQ(o.end, End::Converted);
    const auto r = rows(QStringLiteral("typeof(yhispay), typeof(yhispayda), typeof(\"hisyuzolçumu\"), "
                                       "typeof(ehispay), yhispay, yhispayda, \"hisyuzolçumu\", yalan, ehispay"));
    ASSERT_EQ(r.size(), 3);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(r[0][c].toString(), QStringLiteral("null")) << c;
    // «    1/1    » counts as 1: the share area is the new area as cut.
    EXPECT_EQ(r[1][4].toString(), QStringLiteral("    1"));
    EXPECT_EQ(r[1][5].toString(), QStringLiteral("1    "));
    EXPECT_EQ(r[1][6].toString(), QStringLiteral("    980.00"));
    EXPECT_EQ(r[1][7].toString(), QStringLiteral("    980.00"));
    // The third row repeats the second row's split parts.
    EXPECT_EQ(r[2][4].toString(), QStringLiteral("    1"));
    EXPECT_EQ(r[2][8].toString(), QStringLiteral("        5"));
}

TEST_F(RunTest, NumbersReadBackDoNotDependOnTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    report::Row owner = row(u"ALİ VELİ", u"DAĞ", "1/2", "1/2");
    owner.oldArea = QStringLiteral("1250.5");
    owner.titleDeed = QStringLiteral("0.1");
    owner.deduction = QStringLiteral("1E21");
    const RunOutcome o = run(onePage({report::ownerLine(owner), report::continuationLine(owner)}));
    QLocale::setDefault(previous);
    EXPECT_EQ(o.end, End::Converted);
    const auto r = rows(QStringLiteral("ealan, tapu, dop"));
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r[1][0].toDouble(), 1250.5);
    EXPECT_EQ(r[1][1].toDouble(), 0.1);
    EXPECT_EQ(r[1][2].toDouble(), 1e21);
}

TEST_F(RunTest, ANumeratorThatIsNotANumberStopsTheRunWithTypeMismatch)
{
    const RunOutcome o = run(onePage({report::ownerLine(row(u"ALİ VELİ", u"DAĞ", "1/2", "1,5/2")),
                                      report::ownerLine(row(u"ALİ VELİ", u"DAĞ", "1/2", "1/2"))}));
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.errorNumber, 13);
    EXPECT_EQ(o.recordsStored, 0);
    expectUsable();
}

TEST_F(RunTest, ANullReadBackHasNoTextForTheNumericFields)
{
    // A record the converter did not write: ealan left NULL.
    engine.db.close();
    {
        zefto::Database other;
        other.open(QStringLiteral("ovrek1.mdb"));
        zefto::Recordset rs = other.openRecordset(QStringLiteral("ovrekson"));
        fillRecord(rs);
        rs.setField(QStringLiteral("ealan"), zefto::Value());
        rs.update();
        rs.close();
    }
    const RunOutcome o = run(onePage({report::continuationLine(report::sampleRow(0))}));
    EXPECT_EQ(o.errorNumber, 94);
    EXPECT_EQ(o.end, End::Failed);
}

TEST_F(RunTest, TheLineCounterOverflowsAfterTheReadAt32767)
{
    window.path = write(QStringLiteral("r.txt"), report::join(onePage({report::ownerLine(report::sampleRow(0))})));
    engine.report.open(window.path);
    for (int i = 0; i < 10; ++i)
        engine.satir = engine.report.readLine();
    engine.stt = 32767;
    try {
        engine.tabloici();
        FAIL() << "no overflow";
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(engine.stt, 32767);
    EXPECT_EQ(engine.satir, QString()); // the line after the row was read
    engine.kayit.close();
    EXPECT_EQ(rows().size(), 1);
}
