#pragma once

#include <QtGlobal>
#include <QStringView>

namespace zefto {

// Our 16-bit text as UTF-8 and back, without Qt's converters' state or
// replacement: a lone surrogate is written as the three bytes of its code
// point, so it reads back as itself.

// Writes `text` at `to`, which has room for 3 bytes a unit; returns the end.
char *writeUtf8(char *to, QStringView text);
// Reads `n` bytes into `to`, which has room for `n` units; returns the units
// written, or -1 when the bytes are not UTF-8 as writeUtf8 writes it.
qsizetype readUtf8(char16_t *to, const char *from, qsizetype n);

} // namespace zefto
