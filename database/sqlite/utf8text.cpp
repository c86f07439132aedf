#include "utf8text.h"

namespace zefto::sqlite {

void readColumnText(sqlite3_stmt *q, int i, bool utf8, Value &into)
{
    if (utf8) {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(q, i));
        const int n = sqlite3_column_bytes(q, i);
        if (const qsizetype units = readUtf8(into.textToWrite(n), bytes, n); units >= 0) {
            into.truncateText(units);
            return;
        }
    }
    into.setText(QStringView(static_cast<const char16_t *>(sqlite3_column_text16(q, i)), sqlite3_column_bytes16(q, i) / 2));
}

QString columnText(sqlite3_stmt *q, int i, bool utf8)
{
    Value v;
    readColumnText(q, i, utf8, v);
    return v.asText();
}

namespace {

// Binds `text` in the file's encoding; UTF-8 is written into `buffer`, which must outlive the binding
// when `lifetime` is SQLITE_STATIC.
int bindText(sqlite3_stmt *q, int parameter, const QString &text, bool utf8, std::vector<char> &buffer,
             sqlite3_destructor_type lifetime)
{
    // With the length given no terminating NUL is needed: utf16() would copy a literal's text every record.
    if (!utf8 || startsWithByteOrderMark(text))
        return sqlite3_bind_text16(q, parameter, text.constData(), int(text.size() * 2), lifetime);
    // Never empty: a null pointer would bind NULL, not zero-length text.
    if (buffer.size() <= size_t(text.size()) * 3)
        buffer.resize(size_t(text.size()) * 3 + 1);
    return sqlite3_bind_text(q, parameter, buffer.data(), int(writeUtf8(buffer.data(), text) - buffer.data()),
                             lifetime);
}

} // namespace

int TextBinder::bind(sqlite3_stmt *q, int parameter, const QString &text)
{
    if (m_buffers.size() <= size_t(parameter))
        m_buffers.resize(size_t(parameter) + 1);
    return bindText(q, parameter, text, m_utf8, m_buffers[size_t(parameter)], SQLITE_STATIC);
}

int TextBinder::bindCopy(sqlite3_stmt *q, int parameter, const QString &text) const
{
    std::vector<char> buffer;
    return bindText(q, parameter, text, m_utf8, buffer, SQLITE_TRANSIENT);
}

} // namespace zefto::sqlite
