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

// Lays a data line out segment by segment, each checked against the 1-based
// positions it must occupy.
class LineBuilder {
public:
    LineBuilder &at(int first, int last, const QByteArray &text)
    {
        EXPECT_EQ(bytes.size() + 1, first) << text.toStdString();
        EXPECT_EQ(text.size(), last - first + 1) << text.toStdString();
        bytes += text;
        return *this;
    }
    QByteArray bytes;
};

// An owner line with a different value in every column, and a character of its
// own in every position no column reads: a column moved by one changes what is stored.
QByteArray distinctOwnerLine()
{
    return LineBuilder()
        .at(1, 7, "abcdefg")
        .at(8, 12, "G3-12")
        .at(13, 13, "h")
        .at(14, 19, "140519")
        .at(20, 20, "i")
        .at(21, 26, "P2126Q")
        .at(27, 27, "j")
        .at(28, 35, "12345.75")
        .at(36, 36, "7")
        .at(37, 57, report::cp857(QStringLiteral("İSMAİL ÖZGÜR ÇAĞLAYAN")))
        .at(58, 58, "k")
        .at(59, 68, report::cp857(QStringLiteral("BUĞRAHAN  ")))
        .at(69, 69, "l")
        .at(70, 88, "   123456/987654321")
        .at(89, 89, "m")
        .at(90, 99, "  6250.125")
        .at(100, 100, "3")
        .at(101, 110, " 1875.0625")
        .at(111, 111, "5")
        .at(112, 121, "  437.8125")
        .at(122, 130, "9nopqrstu")
        .at(131, 135, "Y-131")
        .at(136, 136, "v")
        .at(137, 138, "37")
        .at(139, 139, "w")
        .at(140, 149, "  1406.125")
        .at(150, 150, "x")
        .at(151, 161, "    1/98765")
        .at(162, 167, "yz0246")
        .bytes;
}

// A continuation row: its own old-side columns hold values that must not be stored.
QByteArray distinctContinuationLine(const QByteArray &newBlock, const QByteArray &newParcel, const QByteArray &newArea,
                                    const QByteArray &newShare)
{
    return LineBuilder()
        .at(1, 7, "       ")
        .at(8, 12, "W9-99")
        .at(13, 13, " ")
        .at(14, 19, "999999")
        .at(20, 20, " ")
        .at(21, 26, "Q9999X")
        .at(27, 27, " ")
        .at(28, 35, "99999.25")
        .at(36, 36, " ")
        .at(37, 57, QByteArray(21, ' '))
        .at(58, 58, " ")
        .at(59, 68, report::cp857(QStringLiteral("DOĞUHAN   ")))
        .at(69, 69, " ")
        .at(70, 88, "       11/22       ")
        .at(89, 89, " ")
        .at(90, 99, "     9.875")
        .at(100, 100, " ")
        .at(101, 110, "    8.1250")
        .at(111, 111, " ")
        .at(112, 121, "    7.5625")
        .at(122, 130, QByteArray(9, ' '))
        .at(131, 135, newBlock)
        .at(136, 136, " ")
        .at(137, 138, newParcel)
        .at(139, 139, " ")
        .at(140, 149, newArea)
        .at(150, 150, " ")
        .at(151, 161, newShare)
        .at(162, 165, "    ")
        .bytes;
}

const QString allFields = QStringLiteral(
    "yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, "
    "babaadi, epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, "
    "tahsis, mahalle");

// The owner and old-side fields every record of distinctOwnerLine() carries:
// adi, soyadi, babaadi, epafta, eada, eparsel, ehispay, ehispayda (columns 6-13
// of allFields), then ealan, tapu, dop, tahsis (14-17).
void expectOwnerAndOldSide(const QVariantList &r)
{
    ASSERT_EQ(r.size(), 19);
    EXPECT_EQ(r[6].toString(), QStringLiteral("İsmail Özgür"));
    EXPECT_EQ(r[7].toString(), QStringLiteral("Çağlayan"));
    EXPECT_EQ(r[8].toString(), QStringLiteral("Buğrahan  "));
    EXPECT_EQ(r[9].toString(), QStringLiteral("G3-12"));
    EXPECT_EQ(r[10].toString(), QStringLiteral("140519"));
    EXPECT_EQ(r[11].toString(), QStringLiteral("P2126Q"));
    EXPECT_EQ(r[12].toString(), QStringLiteral("   123456"));
    EXPECT_EQ(r[13].toString(), QStringLiteral("987654321"));
    EXPECT_EQ(r[14].typeId(), QMetaType::Double);
    EXPECT_EQ(r[14].toDouble(), 12345.75);
    EXPECT_EQ(r[15].toDouble(), 6250.125);
    EXPECT_EQ(r[16].toDouble(), 1875.0625);
    EXPECT_EQ(r[17].toDouble(), 437.8125);
    EXPECT_EQ(r[18].toString(), QStringLiteral("Tarçınbağı"));
}

} // namespace

TEST_F(RunTest, AFullLineStoresEachOfTheNineteenFieldsFromItsOwnColumn)
{
    const RunOutcome o = run(onePage({distinctOwnerLine()}));
    EXPECT_EQ(o.end, End::Converted); // the Ğ of BUĞRAHAN
    const auto r = rows(allFields);
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0][0].toString(), QStringLiteral("Y-131"));
    EXPECT_EQ(r[0][1].toString(), QStringLiteral("37"));
    EXPECT_EQ(r[0][2].toString(), QStringLiteral("    1"));
    EXPECT_EQ(r[0][3].toString(), QStringLiteral("98765"));
    EXPECT_EQ(r[0][4].toString(), QStringLiteral("  1406.125")); // a numerator of 1: the new area
    EXPECT_EQ(r[0][5].toString(), QStringLiteral("  1406.125"));
    expectOwnerAndOldSide(r[0]);
}

TEST_F(RunTest, ContinuationRowsTakeAllTwelveOwnerAndOldSideFieldsFromTheRecordStoredLast)
{
    const RunOutcome o =
        run(onePage({distinctOwnerLine(), distinctContinuationLine("K7-88", "9A", "   77.0625", "  250/40000"),
                     distinctContinuationLine("M5-44", "4B", "   512.375", "   75/12000")}));
    EXPECT_EQ(o.end, End::Converted);
    EXPECT_EQ(o.recordsStored, 3);
    const auto r = rows(allFields);
    ASSERT_EQ(r.size(), 3);
    for (int i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        expectOwnerAndOldSide(r[i]);
    }
    // The new side is the row's own; a numerator other than 1 is the share area itself.
    EXPECT_EQ(r[1][0].toString(), QStringLiteral("K7-88"));
    EXPECT_EQ(r[1][1].toString(), QStringLiteral("9A"));
    EXPECT_EQ(r[1][2].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[1][3].toString(), QStringLiteral("40000"));
    EXPECT_EQ(r[1][4].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[1][5].toString(), QStringLiteral("   77.0625"));
    EXPECT_EQ(r[2][0].toString(), QStringLiteral("M5-44"));
    EXPECT_EQ(r[2][1].toString(), QStringLiteral("4B"));
    EXPECT_EQ(r[2][2].toString(), QStringLiteral("   75"));
    EXPECT_EQ(r[2][3].toString(), QStringLiteral("12000"));
    EXPECT_EQ(r[2][4].toString(), QStringLiteral("   75"));
    EXPECT_EQ(r[2][5].toString(), QStringLiteral("   512.375"));
}

TEST_F(RunTest, AContinuationRowOpeningABlockTakesAllTwelveFieldsFromTheLastRecordOfTheBlockBefore)
{
    // Block 1 (lines 10-59) ends with the distinct owner line; block 2 opens at line 73 with a continuation.
    std::vector<QByteArray> lines;
    for (int n = 1; n <= 9; ++n)
        lines.push_back(report::headerLine(n));
    for (int n = 10; n <= 58; ++n)
        lines.push_back(report::ownerLine(report::sampleRow(n)));
    lines.push_back(distinctOwnerLine());
    for (int n = 60; n <= 72; ++n)
        lines.push_back(report::headerLine(n));
    lines.push_back(distinctContinuationLine("K7-88", "9A", "   77.0625", "  250/40000"));
    lines.push_back(QByteArray());
    ASSERT_EQ(lines.size(), 74u);
    const RunOutcome o = run(lines);
    EXPECT_EQ(o.end, End::Converted);
    const auto r = rows(allFields);
    ASSERT_EQ(r.size(), 51);
    expectOwnerAndOldSide(r[49]);
    expectOwnerAndOldSide(r[50]);
    EXPECT_EQ(r[50][0].toString(), QStringLiteral("K7-88"));
    EXPECT_EQ(r[50][1].toString(), QStringLiteral("9A"));
    EXPECT_EQ(r[50][2].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[50][3].toString(), QStringLiteral("40000"));
    EXPECT_EQ(r[50][4].toString(), QStringLiteral("  250"));
    EXPECT_EQ(r[50][5].toString(), QStringLiteral("   77.0625"));
}

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
    const RunOutcome o =
        run(onePage({report::ownerLine(owner), report::continuationLine(next), report::continuationLine(third)}));
    EXPECT_EQ(o.end, End::Converted);
    const auto r =
        rows(QStringLiteral("adi, soyadi, babaadi, ehispay, ehispayda, ealan, yada, yhispay, "
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
    lines[58] = report::ownerLine(last);        // line 59, last of block 1
    lines[72] = report::continuationLine(last); // line 73, first of block 2
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
    const auto r =
        rows(QStringLiteral("typeof(yhispay), typeof(yhispayda), typeof(\"hisyuzolçumu\"), "
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
