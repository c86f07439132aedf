#include "textcopy.h"

namespace zefto {

// GCC would turn the loop below back into a call to memcpy.
#if defined(__GNUC__) && !defined(__clang__)
#define ZEFTO_NO_MEMCPY_IDIOM __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define ZEFTO_NO_MEMCPY_IDIOM
#endif

// Copied character by character, not by memcpy. On the AVX-512 processor the
// benchmarks run on, each call to glibc's memcpy for a few bytes, made between
// Qt's and our SSE code, stalled far longer than the copy takes: without those
// calls a conversion spends a sixth less processor time (glibc told not to use
// its AVX-512 string functions, GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512BW,
// saves the same). A report column is 2 to 21 characters.
ZEFTO_NO_MEMCPY_IDIOM void copyChars(char16_t *to, QStringView text)
{
    const char16_t *from = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i)
        to[i] = from[i];
}

QString copied(QStringView text)
{
    QString s(text.size(), Qt::Uninitialized);
    copyChars(reinterpret_cast<char16_t *>(s.data()), text);
    return s;
}

} // namespace zefto
