#pragma once

#include "utf8.h"
#include "value.h"

#include <QString>
#include <QStringView>
#include <sqlite3.h>
#include <vector>

namespace zefto::sqlite {

// Our 16-bit text as UTF-8 and back (utf8.h), for files kept in UTF-8: bound
// and read in the file's own encoding, SQLite converts nothing. A lone
// surrogate reads back as itself, as it does from a UTF-16 file.

// SQLite takes such a mark off 16-bit text bound to it, never off UTF-8: text
// starting with one is bound as 16-bit text in either encoding, as it always was.
inline bool startsWithByteOrderMark(const QString &text)
{
    return !text.isEmpty() && (text.front() == QChar(0xFEFF) || text.front() == QChar(0xFFFE));
}

// Column `i` of the row `q` stands on, text in a file kept in UTF-8 when `utf8`.
QString columnText(sqlite3_stmt *q, int i, bool utf8);
// The same into `into`, written over the text it held (a reader fills millions of values).
void readColumnText(sqlite3_stmt *q, int i, bool utf8, Value &into);

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
