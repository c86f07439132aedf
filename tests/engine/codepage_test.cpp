#include "codepage.h"

#include <QSet>

#include <gtest/gtest.h>

using zefto::decodeWindows1254;
using zefto::windows1254;

TEST(Codepage, TheBytesTheConverterReliesOnDecodeAsWindows1254)
{
    struct {
        unsigned char byte;
        char16_t expected;
    } cases[] = {
        {0x98, 0x02DC},
        {0x80, 0x20AC},
        {0x9A, 0x0161},
        {0x9E, 0x009E},
        {0x99, 0x2122},
        {0xA6, 0x00A6},
        {0xC4, 0x00C4},
        {0xC5, 0x00C5},
        // CP857 lower-case Turkish letters stay as Windows-1254 reads them.
        {0x87, 0x2021},
        {0xA7, 0x00A7},
        {0x8D, 0x008D},
        {0x94, 0x201D},
        {0x9F, 0x0178},
        {0x81, 0x0081},
        // Windows-1254's own Turkish letters.
        {0xD0, 0x011E},
        {0xDD, 0x0130},
        {0xDE, 0x015E},
        {0xF0, 0x011F},
        {0xFD, 0x0131},
        {0xFE, 0x015F},
    };
    for (const auto &c : cases)
        EXPECT_EQ(windows1254(c.byte), c.expected) << std::hex << int(c.byte);
}

TEST(Codepage, EveryByteIsOneCharacterAndUnassignedBytesKeepTheirValue)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QString s = decodeWindows1254(all.constData(), all.size());
    ASSERT_EQ(s.size(), 256);
    for (int b = 0; b < 0x80; ++b)
        EXPECT_EQ(s[b].unicode(), b);
    for (int b : {0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D, 0x9E})
        EXPECT_EQ(s[b].unicode(), b);
    for (int b = 0xA0; b < 0x100; ++b) {
        if (b != 0xD0 && b != 0xDD && b != 0xDE && b != 0xF0 && b != 0xFD && b != 0xFE) {
            EXPECT_EQ(s[b].unicode(), b);
        }
    }
    // No two bytes share a character, so nothing read is ambiguous.
    QSet<QChar> distinct(s.begin(), s.end());
    EXPECT_EQ(distinct.size(), 256);
}
