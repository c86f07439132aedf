#include "error.h"
#include "val.h"

#include <gtest/gtest.h>

using zefto::val;

TEST(Val, ReadsTheLeadingNumberOfAReportColumn)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("   1250.50")), 1250.5);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1 250")), 1250);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("12,5")), 12);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1.250,00")), 1.25);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("          ")), 0);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("")), 0);
    EXPECT_DOUBLE_EQ(val(QString()), 0);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("abc 12")), 0);
}

TEST(Val, SkipsTabsAndLineFeedsButNotOtherSpaces)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("\t1\n2")), 12);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1\u00A02")), 1); // a no-break space is not a blank
}

TEST(Val, SignsDecimalsAndExponents)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("-  12.5")), -12.5);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("+7")), 7);
    EXPECT_DOUBLE_EQ(val(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1.5E3")), 1500);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("2D-2")), 0.02);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1e+20")), 1e20);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("3E")), 3);   // an exponent without digits is ignored
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1.2.3")), 1.2);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("-")), 0);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("1e-400")), 0);
}

TEST(Val, HexadecimalAndOctal)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H1F")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&hFFFF")), -1);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H10000")), 65536);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O17")), 15);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O19")), 1); // 9 is not an octal digit
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&X1")), 0);
}

TEST(Val, BlanksTabsAndLineFeedsInsideHexadecimalAndOctalAreSkipped)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H 1F")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H1 F")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&h 1 f ")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H\t1\nF")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("   &H2A")), 42);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H FF FF")), -1); // still 16 bits, read as signed
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H1 0000")), 65536);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H 1G2")), 1);    // G ends the number, blanks do not
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O 1 7")), 15);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&o\t7\n7")), 63);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("  &O 2 0 0")), 128);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O 1 8 1")), 1);  // 8 ends the number, blanks do not
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H   ")), 0);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O \t")), 0);
}

TEST(Val, BlanksBetweenTheAmpersandAndItsRadixLetterAreSkipped)
{
    EXPECT_DOUBLE_EQ(val(QStringLiteral("& H1F")), 31);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&\tO17")), 15);
}

TEST(Val, NumbersTooLargeOverflow)
{
    try {
        val(QStringLiteral("1E400"));
        FAIL() << "no overflow";
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_THROW(val(QStringLiteral("&H123456789")), zefto::Error);
}
