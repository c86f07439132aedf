#include "codepage.h"
#include "reporttext.h"

#include <gtest/gtest.h>

using zefto::ui::asPrinted;

namespace {
QString asRead(const QByteArray &bytes)
{
    return zefto::decodeWindows1254(bytes.constData(), bytes.size());
}
} // namespace

TEST(ReportText, ALineIsShownInTheLettersAndRulesItWasPrintedWith)
{
    // Code chart of DOS Turkish: A6 Ğ, 98 İ, 9E Ş, 80 Ç, 9A Ü, 99 Ö, 8D ı, A7 ğ, 9F ş, C4 ─, B3 │, C5 ┼.
    EXPECT_EQ(asPrinted(asRead("\xA6\x98\x9E\x80\x9A\x99")), QStringLiteral("ĞİŞÇÜÖ"));
    EXPECT_EQ(asPrinted(asRead("Do\xA7"
                               "an I\x9E"
                               "IK \x8D")),
              QStringLiteral("Doğan IŞIK ı"));
    EXPECT_EQ(asPrinted(asRead("  \xC4\xC4\xB3\xC5 1/2 \x9F")), QStringLiteral("  ──│┼ 1/2 ş"));
    EXPECT_EQ(asPrinted(asRead("plain ASCII 123")), QStringLiteral("plain ASCII 123"));
    EXPECT_EQ(asPrinted(QString()), QString());
    // Text no report line can hold is left as it is.
    EXPECT_EQ(asPrinted(QStringLiteral("Ω")), QStringLiteral("Ω"));
}
