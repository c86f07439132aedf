#include "copystream.h"

#include "libpq.h"

#include <algorithm>
#include <charconv>

namespace zefto::postgres {
namespace {

// libpq sends in blocks of its own; ours only saves a call per record.
constexpr qsizetype blockBytes = 64 * 1024;

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

void appendText(QByteArray &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    // Most fields need no escape: copied whole, not a character at a time.
    if (std::none_of(utf8.begin(), utf8.end(),
                     [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; })) {
        out += utf8;
        return;
    }
    for (const char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

void appendNumber(QByteArray &out, double d)
{
    char digits[32];
    // The shortest form that reads back as the same double.
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, d);
    out.append(digits, end - digits);
}

} // namespace

void appendCopyLine(QByteArray &out, const Record &values, const std::vector<bool> &given)
{
    bool first = true;
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i])
            continue;
        if (!first)
            out += '\t';
        first = false;
        const Value &v = values[i];
        if (v.isText())
            appendText(out, v.asText());
        else if (v.isDouble())
            appendNumber(out, v.asDouble());
        else
            out += "\\N";
    }
    out += '\n';
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
    m_buffer.clear();
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
