#include "copystream.h"

#include "libpq.h"

#include <charconv>
#include <cmath>

namespace zefto::postgres {
namespace {

// libpq sends in blocks of its own; ours only saves a call per record.
constexpr qsizetype blockBytes = 64 * 1024;

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// The most bytes a number takes in the shortest form (-2.2250738585072014e-308).
constexpr qsizetype numberBytes = 32;

// Text as UTF-8 with COPY's escapes, from `p` on; returns where it ends. At
// most 3 bytes a UTF-16 unit, an escape included.
char *writeText(char *p, const QString &text)
{
    const char16_t *u = QStringView(text).utf16();
    const char16_t *const end = u + text.size();
    for (; u < end; ++u) {
        const char16_t c = *u;
        if (c < 0x80) {
            switch (c) {
            case u'\\':
                *p++ = '\\';
                *p++ = '\\';
                break;
            case u'\t':
                *p++ = '\\';
                *p++ = 't';
                break;
            case u'\n':
                *p++ = '\\';
                *p++ = 'n';
                break;
            case u'\r':
                *p++ = '\\';
                *p++ = 'r';
                break;
            default: *p++ = char(c);
            }
        } else if (c < 0x800) {
            *p++ = char(0xc0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3f));
        } else if (!QChar::isSurrogate(c)) {
            *p++ = char(0xe0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3f));
            *p++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && u + 1 < end && QChar::isLowSurrogate(u[1])) {
            const char32_t cp = QChar::surrogateToUcs4(c, u[1]);
            ++u;
            *p++ = char(0xf0 | (cp >> 18));
            *p++ = char(0x80 | ((cp >> 12) & 0x3f));
            *p++ = char(0x80 | ((cp >> 6) & 0x3f));
            *p++ = char(0x80 | (cp & 0x3f));
        } else {
            // A lone surrogate, as Qt's own conversion writes it (at most 3 bytes).
            for (const char b : QStringView(u, 1).toUtf8())
                *p++ = b;
        }
    }
    return p;
}

// `n` hundredths in the shortest fixed form (87.51, 500.1, 0.05, -3), from `p` on.
char *writeHundredths(char *p, long long n)
{
    if (n < 0)
        *p++ = '-';
    const unsigned long long u = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    p = std::to_chars(p, p + numberBytes, u / 100).ptr;
    if (const unsigned cents = unsigned(u % 100); cents != 0) {
        *p++ = '.';
        *p++ = char('0' + cents / 10);
        if (cents % 10 != 0)
            *p++ = char('0' + cents % 10);
    }
    return p;
}

// The shortest form that reads back as the same double, from `p` on.
char *writeNumber(char *p, double d)
{
    // Most areas have at most two decimals: written from the whole number of
    // hundredths, a tenth of the cost. That text reads back as `d` when the
    // hundredths divided by 100 give `d` (both are correctly rounded), and it
    // is the shortest form too, but for whole numbers from 10000 on, which may
    // be shorter with an exponent.
    if (d != 0 && std::fabs(d) < 1e13) {
        const long long hundredths = std::llround(d * 100);
        if (double(hundredths) / 100 == d && (hundredths % 100 != 0 || std::fabs(d) < 10000)) {
            char *const end = writeHundredths(p, hundredths);
            Q_ASSERT([&] {
                char digits[numberBytes];
                const char *e = std::to_chars(digits, digits + numberBytes, d).ptr;
                return QByteArrayView(p, end - p) == QByteArrayView(digits, e - digits);
            }());
            return end;
        }
    }
    return std::to_chars(p, p + numberBytes, d).ptr;
}

} // namespace

// Written through a pointer into room made once: appending field by field
// (a conversion, a resize, a byte at a time) took a quarter of a run's
// instructions.
void appendCopyLine(QByteArray &out, const Record &values, const std::vector<bool> &given)
{
    qsizetype most = 1;
    for (size_t i = 0; i < given.size(); ++i)
        if (given[i])
            most += 1 + (values[i].isText() ? 3 * values[i].asText().size() : numberBytes);
    const qsizetype at = out.size();
    out.resize(at + most);
    char *p = out.data() + at;
    bool first = true;
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i])
            continue;
        if (!first)
            *p++ = '\t';
        first = false;
        const Value &v = values[i];
        if (v.isText())
            p = writeText(p, v.asText());
        else if (v.isDouble())
            p = writeNumber(p, v.asDouble());
        else {
            *p++ = '\\';
            *p++ = 'N';
        }
    }
    *p++ = '\n';
    Q_ASSERT(p - out.constData() <= at + most);
    out.truncate(p - out.constData());
}

QString copyStatement(const QString &table, const QStringList &columns, const std::vector<bool> &given)
{
    QStringList names;
    for (size_t i = 0; i < given.size(); ++i)
        if (given[i])
            names << quoted(columns[int(i)]);
    return QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, names.join(u','));
}

void CopyStream::start(const QString &table, const QStringList &columns, const std::vector<bool> &given)
{
    if (!m_connection.batch(copyStatement(table, columns, given)).copying)
        throw Error(
            err::Reserved,
            QStringLiteral("The server of '%1' did not start the COPY of the records.").arg(m_connection.name()));
    adopt(given);
}

void CopyStream::adopt(const std::vector<bool> &given)
{
    m_open = true;
    m_given = given;
    m_buffer.clear();
}

void CopyStream::put(const Record &values)
{
    appendCopyLine(m_buffer, values, m_given);
    if (m_buffer.size() >= blockBytes)
        send();
}

void CopyStream::send()
{
    if (m_buffer.isEmpty())
        return;
    if (libpq().putCopyData(m_connection.handle(), m_buffer.constData(), int(m_buffer.size())) != 1)
        fail();
    m_buffer.resize(0); // its room kept for the next block
}

Failure CopyStream::lastFailure() const
{
    PGconn *c = m_connection.handle();
    return {QString(), cleanMessage(QString::fromUtf8(libpq().errorMessage(c)), QString()),
            libpq().status(c) != CONNECTION_OK};
}

void CopyStream::fail()
{
    const Failure f = lastFailure();
    abandon();
    throw m_connection.error(f);
}

void CopyStream::finish()
{
    if (!m_open)
        return;
    send();
    PGconn *c = m_connection.handle();
    if (libpq().putCopyEnd(c, nullptr) != 1)
        fail();
    m_open = false;
    std::optional<Failure> failure;
    // The COPY's own result, then the end of the command.
    while (PGresult *r = libpq().getResult(c)) {
        if (libpq().resultStatus(r) != PGRES_COMMAND_OK && !failure)
            failure = Failure{QString::fromLatin1(libpq().resultErrorField(r, PG_DIAG_SQLSTATE)),
                              QString::fromUtf8(libpq().resultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)),
                              libpq().status(c) != CONNECTION_OK};
        libpq().clear(r);
    }
    if (failure) {
        if (failure->message.isEmpty())
            failure->message = lastFailure().message;
        failure->connectionLost = libpq().status(c) != CONNECTION_OK;
        throw m_connection.error(*failure);
    }
}

void CopyStream::abandon() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    m_buffer.clear();
    PGconn *c = m_connection.handle();
    if (!c || libpq().status(c) != CONNECTION_OK)
        return;
    if (libpq().putCopyEnd(c, "abandoned by Zefto") == 1)
        while (PGresult *r = libpq().getResult(c))
            libpq().clear(r);
}

} // namespace zefto::postgres
