#pragma once

#include <QString>
#include <QStringView>
#include <sqlite3.h>
#include <vector>

namespace zefto::sqlite {

// Our 16-bit text as UTF-8 and back, for files kept in UTF-8: bound and read
// in the file's own encoding, SQLite converts nothing. A lone surrogate is
// written as the three bytes of its code point, so it reads back as itself,
// as it does from a UTF-16 file.

// SQLite takes such a mark off 16-bit text bound to it, never off UTF-8: text
// starting with one is bound as 16-bit text in either encoding, as it always was.
inline bool startsWithByteOrderMark(const QString &text)
{
    return !text.isEmpty() && (text.front() == QChar(0xFEFF) || text.front() == QChar(0xFFFE));
}

// Writes `text` at `to`, which has room for 3 bytes a unit; returns the end.
char *writeUtf8(char *to, QStringView text);
// Reads `n` bytes into `to`, which has room for `n` units; returns the units
// written, or -1 when the bytes are not UTF-8 as writeUtf8 writes it.
qsizetype readUtf8(char16_t *to, const char *from, qsizetype n);

// Column `i` of the row `q` stands on, text in a file kept in UTF-8 when `utf8`.
QString columnText(sqlite3_stmt *q, int i, bool utf8);

// Binds text to a statement in the file's encoding, without SQLite copying or converting it.
class TextBinder {
public:
    void setUtf8(bool utf8) { m_utf8 = utf8; }
    bool utf8() const { return m_utf8; }
    // `text` stays as it is until the statement is stepped; so does this binder.
    int bind(sqlite3_stmt *q, int parameter, const QString &text);
    // For text that goes before the statement is stepped.
    int bindCopy(sqlite3_stmt *q, int parameter, const QString &text) const;

private:
    bool m_utf8 = false;
    std::vector<std::vector<char>> m_buffers; // one per parameter, reused record after record
};

} // namespace zefto::sqlite
