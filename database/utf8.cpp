#include "utf8.h"

#include <QChar>
#include <bit>
#include <cstring>

namespace zefto {
namespace {

// The bit of `flags` that stands for the first unit or byte read into it, on either byte order.
int firstFlagged(quint64 flags)
{
    return std::endian::native == std::endian::little ? std::countr_zero(flags) : std::countl_zero(flags);
}

} // namespace

char *writeUtf8(char *to, QStringView text)
{
    const char16_t *u = text.utf16();
    const char16_t *const end = u + text.size();
    while (u < end) {
        // Four ASCII units at a time, the common case (digits, most letters); the same on either byte order.
        if (end - u >= 4) {
            quint64 four;
            std::memcpy(&four, u, 8);
            if (const quint64 high = four & 0xFF80FF80FF80FF80ULL; high != 0) {
                // The ASCII units before the first that is not, without looking at them again.
                for (int k = firstFlagged(high) / 16; k > 0; --k)
                    *to++ = char(*u++);
            } else {
                const auto bytes = quint32((four & 0xFF) | ((four >> 8) & 0xFF00) | ((four >> 16) & 0xFF0000)
                                           | ((four >> 24) & 0xFF000000));
                std::memcpy(to, &bytes, 4);
                to += 4;
                u += 4;
                continue;
            }
        }
        const char16_t c = *u++;
        if (c < 0x80) {
            *to++ = char(c);
        } else if (c < 0x800) {
            *to++ = char(0xC0 | (c >> 6));
            *to++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && u < end && QChar::isLowSurrogate(*u)) {
            const char32_t cp = QChar::surrogateToUcs4(c, *u++);
            *to++ = char(0xF0 | (cp >> 18));
            *to++ = char(0x80 | ((cp >> 12) & 0x3F));
            *to++ = char(0x80 | ((cp >> 6) & 0x3F));
            *to++ = char(0x80 | (cp & 0x3F));
        } else { // a lone surrogate too
            *to++ = char(0xE0 | (c >> 12));
            *to++ = char(0x80 | ((c >> 6) & 0x3F));
            *to++ = char(0x80 | (c & 0x3F));
        }
    }
    return to;
}

qsizetype readUtf8(char16_t *to, const char *from, qsizetype n)
{
    const auto *b = reinterpret_cast<const unsigned char *>(from);
    const unsigned char *const end = b + n;
    char16_t *const start = to;
    while (b < end) {
        if (end - b >= 8) {
            quint64 eight;
            std::memcpy(&eight, b, 8);
            if (const quint64 high = eight & 0x8080808080808080ULL; high != 0) {
                for (int k = firstFlagged(high) / 8; k > 0; --k)
                    *to++ = *b++;
            } else {
                for (int k = 0; k < 8; ++k)
                    to[k] = b[k];
                to += 8;
                b += 8;
                continue;
            }
        }
        const unsigned lead = *b++;
        if (lead < 0x80) {
            *to++ = char16_t(lead);
            continue;
        }
        // The shortest form only, and nothing above U+10FFFF: what writeUtf8 writes.
        int more;
        char32_t cp, least;
        if (lead >= 0xC2 && lead <= 0xDF)
            more = 1, cp = lead & 0x1F, least = 0x80;
        else if (lead >= 0xE0 && lead <= 0xEF)
            more = 2, cp = lead & 0x0F, least = 0x800;
        else if (lead >= 0xF0 && lead <= 0xF4)
            more = 3, cp = lead & 0x07, least = 0x10000;
        else
            return -1;
        if (end - b < more)
            return -1;
        for (int k = 0; k < more; ++k, ++b) {
            if ((*b & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (*b & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF)
            return -1;
        if (cp >= 0x10000) {
            *to++ = QChar::highSurrogate(cp);
            *to++ = QChar::lowSurrogate(cp);
        } else {
            *to++ = char16_t(cp);
        }
    }
    return to - start;
}

} // namespace zefto
