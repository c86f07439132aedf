#include "codepage.h"
#include "layout.h"

#include <gtest/gtest.h>

using namespace zefto::layout;

namespace {
QString decoded(const QByteArray &b)
{
    return zefto::decodeWindows1254(b.constData(), b.size());
}
QString blanks(int n)
{
    return QString(n, u' ');
}
} // namespace

TEST(Columns, ShortAndEmptyValuesAreNeverNull)
{
    const QString line = QString(40, u'x');
    const Values v = cutAll(line);
    EXPECT_EQ(v[OldArea], QString(8, u'x'));
    EXPECT_EQ(v[OwnerName], QStringLiteral("xxxx")); // characters 37 to 40
    for (int c = FatherName; c < ColumnCount; ++c) {
        EXPECT_TRUE(v[c].isEmpty());
        EXPECT_FALSE(v[c].isNull());
    }
    for (const QStringView value : cutAll(QString()))
        EXPECT_FALSE(value.isNull());
}

TEST(Columns, EachColumnIsCutAtItsPositionsWithBlanksKept)
{
    // Mark every position with a character of its own, then check each column's range.
    QString line;
    for (int p = 1; p <= 170; ++p)
        line += QChar(0x100 + p);
    const Values v = cutAll(line);
    // First and last positions of the fourteen columns as the report prints them.
    const int first[ColumnCount] = {8, 14, 21, 28, 37, 59, 70, 90, 101, 112, 131, 137, 140, 151};
    const int last[ColumnCount] = {12, 19, 26, 35, 57, 68, 88, 99, 110, 121, 135, 138, 149, 161};
    for (int c = 0; c < ColumnCount; ++c) {
        ASSERT_EQ(v[c].size(), last[c] - first[c] + 1) << c;
        EXPECT_EQ(v[c].front().unicode(), 0x100 + first[c]) << c;
        EXPECT_EQ(v[c].back().unicode(), 0x100 + last[c]) << c;
    }
    EXPECT_EQ(v[NewShare].back().unicode(), 0x100 + 161); // nothing beyond 161 is read
    EXPECT_EQ(cut(QStringLiteral("  12/48  "), {1, 5}), QStringLiteral("  12/"));
}

TEST(Columns, AFullLineGivesEachColumnItsOwnValueAndNoGapCharacter)
{
    // Every column holds a value of its own; the never-read positions hold lower-case filler.
    const QString line = QStringLiteral(
        "abcdefg"               //   1-7
        "SH-08"                 //   8-12  old sheet
        "h"                     //  13
        "BLK014"                //  14-19 old block
        "i"                     //  20
        "PRC021"                //  21-26 old parcel
        "j"                     //  27
        "28000.35"              //  28-35 old area
        "k"                     //  36
        "OWNER NAME FROM 37-57" //  37-57 owner name
        "l"                     //  58
        "FATHER  68"            //  59-68 father's name
        "m"                     //  69
        "OLDSHARE-70/79-88  "   //  70-88 old share
        "n"                     //  89
        "TITLE90-99"            //  90-99 title deed
        "o"                     // 100
        "DEDUCT-101"            // 101-110 deduction
        "p"                     // 111
        "ALLOC--121"            // 112-121 allocation
        "qrstuvwxy"             // 122-130
        "NB131"                 // 131-135 new block
        "z"                     // 136
        "37"                    // 137-138 new parcel
        "!"                     // 139
        "NEWAREA149"            // 140-149 new area
        "?"                     // 150
        "NEW/SH-0161"           // 151-161 new share
        "#$%&*+=@_");           // 162-170
    ASSERT_EQ(line.size(), 170);
    const Values v = cutAll(line);
    EXPECT_EQ(v[OldSheet], QStringLiteral("SH-08"));
    EXPECT_EQ(v[OldBlock], QStringLiteral("BLK014"));
    EXPECT_EQ(v[OldParcel], QStringLiteral("PRC021"));
    EXPECT_EQ(v[OldArea], QStringLiteral("28000.35"));
    EXPECT_EQ(v[OwnerName], QStringLiteral("OWNER NAME FROM 37-57"));
    EXPECT_EQ(v[FatherName], QStringLiteral("FATHER  68"));
    EXPECT_EQ(v[OldShare], QStringLiteral("OLDSHARE-70/79-88  "));
    EXPECT_EQ(v[TitleDeed], QStringLiteral("TITLE90-99"));
    EXPECT_EQ(v[Deduction], QStringLiteral("DEDUCT-101"));
    EXPECT_EQ(v[Allocation], QStringLiteral("ALLOC--121"));
    EXPECT_EQ(v[NewBlock], QStringLiteral("NB131"));
    EXPECT_EQ(v[NewParcel], QStringLiteral("37"));
    EXPECT_EQ(v[NewArea], QStringLiteral("NEWAREA149"));
    EXPECT_EQ(v[NewShare], QStringLiteral("NEW/SH-0161"));

    // Cut one by one, each column gives the same value.
    EXPECT_EQ(cut(line, {8, 5}), QStringLiteral("SH-08"));
    EXPECT_EQ(cut(line, {151, 11}), QStringLiteral("NEW/SH-0161"));
    // A line ending inside the new share column gives what it holds of that column.
    EXPECT_EQ(cutAll(line.first(155))[NewShare], QStringLiteral("NEW/S"));
    EXPECT_EQ(cutAll(line.first(150))[NewShare], QStringLiteral(""));
    EXPECT_EQ(cutAll(line.first(150))[NewArea], QStringLiteral("NEWAREA149"));
}

TEST(RowKinds, TheThreeLiteralsAndTheirNearMisses)
{
    EXPECT_EQ(classify(decoded(QByteArray(21, char(0xC4)))), RowKind::Rule);
    EXPECT_EQ(classify(QStringLiteral("     KONTROL EDEN    ")), RowKind::Signature);
    EXPECT_EQ(classify(blanks(21)), RowKind::Continuation);

    QByteArray junction(21, char(0xC4));
    junction[10] = char(0xC5);
    EXPECT_EQ(classify(decoded(junction)), RowKind::Owner);
    EXPECT_EQ(classify(QStringLiteral("     Kontrol Eden    ")), RowKind::Owner);
    EXPECT_EQ(classify(QStringLiteral("    KONTROL EDEN     ")), RowKind::Owner);
    EXPECT_EQ(classify(decoded(QByteArray(20, char(0xC4)))), RowKind::Owner);
    EXPECT_EQ(classify(blanks(20)), RowKind::Owner); // a line shorter than 57 characters
    EXPECT_EQ(classify(blanks(20) + u'\t'), RowKind::Owner);
    EXPECT_EQ(classify(QString()), RowKind::Owner);
}

TEST(RowKinds, WholeLinesAreClassifiedOnTheOwnerNameColumnAlone)
{
    EXPECT_EQ(classify(cutAll(blanks(57))[OwnerName]), RowKind::Continuation);
    EXPECT_EQ(classify(cutAll(blanks(200))[OwnerName]), RowKind::Continuation);
    EXPECT_EQ(classify(cutAll(decoded(QByteArray(165, char(0xC4))))[OwnerName]), RowKind::Rule);
    EXPECT_EQ(classify(cutAll(QString())[OwnerName]), RowKind::Owner);
}

TEST(PageLayout, DataBlocksAreLines10To59OfEvery63)
{
    EXPECT_FALSE(inDataBlock(9));
    EXPECT_TRUE(inDataBlock(10));
    EXPECT_TRUE(inDataBlock(59));
    EXPECT_FALSE(inDataBlock(60));
    EXPECT_FALSE(inDataBlock(72));
    EXPECT_TRUE(inDataBlock(73));
    EXPECT_TRUE(inDataBlock(122));
    EXPECT_FALSE(inDataBlock(123));
}
