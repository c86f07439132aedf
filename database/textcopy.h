#pragma once

#include <QString>
#include <QStringView>
#include <cstring>

namespace zefto {

// A QString of its own holding `text`: zero-length (never null) when `text` is.
QString copied(QStringView text);

// Writes `text` over the first text.size() characters at `to`, four at a time
// (the last four overlapping those before), never through a call to memcpy: on
// the AVX-512 processor the benchmarks run on, each call to glibc's memcpy for
// a few bytes, made between Qt's and our SSE code, stalled far longer than the
// copy takes (glibc told not to use its AVX-512 string functions,
// GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512BW, saves the same). A report column
// is 2 to 21 characters.
inline void copyChars(char16_t *to, QStringView text)
{
    const char16_t *from = text.utf16();
    const qsizetype n = text.size();
    if (n < 4) {
        for (qsizetype i = 0; i < n; ++i)
            to[i] = from[i];
        return;
    }
    for (qsizetype i = 0; i < n - 4; i += 4)
        std::memcpy(to + i, from + i, 8); // eight bytes known at compile time: one move, no call
    std::memcpy(to + n - 4, from + n - 4, 8);
}

// Copies `n` bytes as copyChars does, for the same reason: records and
// lines of a few dozen bytes, eight at a time, the last eight overlapping.
inline void copyBytes(char *to, const char *from, qsizetype n)
{
    if (n < 8) {
        for (qsizetype i = 0; i < n; ++i)
            to[i] = from[i];
        return;
    }
    for (qsizetype i = 0; i < n - 8; i += 8)
        std::memcpy(to + i, from + i, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
}

} // namespace zefto
