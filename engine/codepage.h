#pragma once

#include <QString>

namespace zefto {

// Decodes report bytes as Windows-1254 text: every byte becomes exactly one
// character; the seven bytes the code page leaves unassigned keep their value
// as the code point. No byte fails.
QString decodeWindows1254(const char *bytes, qsizetype size);
// The same into `text`, whose buffer is reused when nothing else shares it.
void decodeWindows1254(const char *bytes, qsizetype size, QString &text);

// The character one byte decodes to.
char16_t windows1254(unsigned char byte);

} // namespace zefto
