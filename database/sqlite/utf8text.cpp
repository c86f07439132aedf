#include "utf8text.h"

namespace zefto::sqlite {

QString columnText(sqlite3_stmt *q, int i, bool utf8)
{
    if (utf8) {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(q, i));
        const int n = sqlite3_column_bytes(q, i);
        QString text(n, Qt::Uninitialized);
        if (const qsizetype units = readUtf8(reinterpret_cast<char16_t *>(text.data()), bytes, n); units >= 0) {
            text.truncate(units);
            return text;
        }
    }
    // A UTF-16 file's own text; or bytes another program wrote that are not UTF-8, read as SQLite always read them.
    return QString(static_cast<const QChar *>(sqlite3_column_text16(q, i)), sqlite3_column_bytes16(q, i) / 2);
}

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

int TextBinder::bind(sqlite3_stmt *q, int parameter, const QString &text)
{
    // With the length given no terminating NUL is needed: utf16() would copy a literal's text every record.
    if (!m_utf8 || startsWithByteOrderMark(text))
        return sqlite3_bind_text16(q, parameter, text.constData(), int(text.size() * 2), SQLITE_STATIC);
    if (m_buffers.size() <= size_t(parameter))
        m_buffers.resize(size_t(parameter) + 1);
    std::vector<char> &buffer = m_buffers[size_t(parameter)];
    // Never empty: a null pointer would bind NULL, not zero-length text.
    if (buffer.size() <= size_t(text.size()) * 3)
        buffer.resize(size_t(text.size()) * 3 + 1);
    return sqlite3_bind_text(q, parameter, buffer.data(), int(writeUtf8(buffer.data(), text) - buffer.data()),
                             SQLITE_STATIC);
}

int TextBinder::bindCopy(sqlite3_stmt *q, int parameter, const QString &text) const
{
    if (!m_utf8 || startsWithByteOrderMark(text))
        return sqlite3_bind_text16(q, parameter, text.constData(), int(text.size() * 2), SQLITE_TRANSIENT);
    std::vector<char> buffer(size_t(text.size()) * 3 + 1);
    return sqlite3_bind_text(q, parameter, buffer.data(), int(writeUtf8(buffer.data(), text) - buffer.data()),
                             SQLITE_TRANSIENT);
}

} // namespace zefto::sqlite
