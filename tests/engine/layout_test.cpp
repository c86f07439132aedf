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
    for (const QString &value : cutAll(QString()))
        EXPECT_FALSE(value.isNull());
}

TEST(Columns, EachColumnIsCutAtItsPositionsWithBlanksKept)
{
    // Mark every position with a character of its own, then check each column's range.
    QString line;
    for (int p = 1; p <= 170; ++p)
        line += QChar(0x100 + p);
    const Values v = cutAll(line);
    for (int c = 0; c < ColumnCount; ++c) {
        ASSERT_EQ(v[c].size(), columns[c].length) << c;
        EXPECT_EQ(v[c].front().unicode(), 0x100 + columns[c].start) << c;
    }
    EXPECT_EQ(v[NewShare].back().unicode(), 0x100 + 161); // nothing beyond 161 is read
    EXPECT_EQ(cut(QStringLiteral("  12/48  "), {1, 5}), QStringLiteral("  12/"));
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
