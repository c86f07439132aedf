#include "error.h"
#include "numbers.h"
#include "val.h"

#include <QRegularExpression>
#include <charconv>
#include <cstring>
#include <limits>
#include <random>
#include <string>

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
    EXPECT_DOUBLE_EQ(val(QStringLiteral("3E")), 3); // an exponent without digits is ignored
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
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&H 1G2")), 1); // G ends the number, blanks do not
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O 1 7")), 15);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&o\t7\n7")), 63);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("  &O 2 0 0")), 128);
    EXPECT_DOUBLE_EQ(val(QStringLiteral("&O 1 8 1")), 1); // 8 ends the number, blanks do not
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

// valOf takes a number as it is where Val of its text gives it back; every
// other value, and every number that does not come back, must read as before.
TEST(Val, ValOfReadsAsValOfTheValueTextForEveryKindOfNumber)
{
    using zefto::Value;
    const auto same = [](const Value &v) {
        double expected = 0;
        int expectedError = 0;
        try {
            expected = val(zefto::valText(v));
        } catch (const zefto::Error &e) {
            expectedError = e.number();
        }
        double got = 0;
        int error = 0;
        try {
            got = zefto::valOf(v);
        } catch (const zefto::Error &e) {
            error = e.number();
        }
        // Bit for bit: -0 and 0 differ here.
        return error == expectedError && std::memcmp(&got, &expected, sizeof got) == 0;
    };
    const double limits[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.1,
                             1250.5,
                             1e21,
                             1e-7,
                             123456789012345678.0,
                             std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(),
                             2.5e-310,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double d : limits)
        EXPECT_TRUE(same(Value::number(d))) << d;
    // Every exponent, with random mantissas and signs.
    std::mt19937_64 bits(857);
    for (int i = 0; i < 200000; ++i) {
        const quint64 b = bits();
        double d;
        std::memcpy(&d, &b, sizeof d);
        ASSERT_TRUE(same(Value::number(d))) << std::hexfloat << d;
    }
    for (const Value &v :
         {Value(), Value::null(), Value::text(QStringLiteral("  12.50")), Value::text(QStringLiteral("&HFFFF"))})
        EXPECT_TRUE(same(v));
}

// Columns of blanks, signs, digits and points, read against a plain model of
// Val: blanks dropped, then the longest [+-]?digits[.digits] at the start.
TEST(Val, ColumnsOfDigitsPointsAndSignsReadAsTheirLongestLeadingNumber)
{
    const QRegularExpression leadingNumber(QStringLiteral("^([+-]?)([0-9]*(\\.[0-9]*)?)"));
    const auto model = [&](const std::string &text) {
        std::string s;
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\n')
                s += c;
        const QRegularExpressionMatch m = leadingNumber.match(QLatin1StringView(s));
        const std::string number = m.captured(2).toStdString();
        if (number.find_first_of("0123456789") == std::string::npos)
            return 0.0;
        double d = 0;
        std::from_chars(number.data(), number.data() + number.size(), d);
        return m.captured(1) == u'-' ? -d : d;
    };
    std::mt19937 random(1254);
    const std::string alphabet = "0123456789000000000.. \t\n+-";
    for (int i = 0; i < 100000; ++i) {
        std::string text(random() % 30, ' ');
        for (char &c : text)
            c = alphabet[random() % alphabet.size()];
        const double expected = model(text);
        const double got = val(QString::fromLatin1(text));
        // Bit for bit: -0 and 0 differ here.
        ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
            << '"' << text << "\" gave " << got << ", not " << expected;
    }
}
