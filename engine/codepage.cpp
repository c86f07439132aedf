#include "codepage.h"

#include <array>

namespace zefto {
namespace {

// 0x80..0x9F; 0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D and 0x9E are unassigned and map to themselves.
constexpr char16_t high80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,
};

constexpr char16_t decode(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b < 0xA0)
        return high80[b - 0x80];
    // 0xA0..0xFF follow Latin-1 except for the six Turkish letters.
    switch (b) {
    case 0xD0: return 0x011E; // Ğ
    case 0xDD: return 0x0130; // İ
    case 0xDE: return 0x015E; // Ş
    case 0xF0: return 0x011F; // ğ
    case 0xFD: return 0x0131; // ı
    case 0xFE: return 0x015F; // ş
    default: return b;
    }
}

// Every byte's character, worked out at compile time: a line decodes by lookup.
constexpr std::array<char16_t, 256> characters = [] {
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[size_t(b)] = decode(static_cast<unsigned char>(b));
    return t;
}();

} // namespace

char16_t windows1254(unsigned char b)
{
    return characters[b];
}

QString decodeWindows1254(const char *bytes, qsizetype size)
{
    QString s;
    decodeWindows1254(bytes, size, s);
    return s;
}

void decodeWindows1254(const char *bytes, qsizetype size, QString &text)
{
    // resize keeps an unshared buffer that is large enough, and its text is written over.
    text.resize(size);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < size; ++i)
        out[i] = characters[static_cast<unsigned char>(bytes[i])];
}

} // namespace zefto
