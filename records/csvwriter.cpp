#include "csvwriter.h"

#include <QLocale>
#include <QStringEncoder>
#include <cmath>

namespace zefto::records {
namespace {

bool needsQuotes(QStringView field)
{
    for (QChar c : field)
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    return false;
}

// Appends the UTF-8 of `text` without a temporary: a listing has millions of fields.
void appendUtf8(QByteArray &line, QStringView text)
{
    const qsizetype at = line.size();
    line.resize(at + text.size() * 3);
    QStringEncoder utf8(QStringEncoder::Utf8);
    char *end = utf8.appendToBuffer(line.data() + at, text);
    line.resize(end - line.constData());
}

void appendField(QByteArray &line, QStringView field)
{
    if (!needsQuotes(field)) {
        appendUtf8(line, field);
        return;
    }
    line += '"';
    for (qsizetype from = 0;;) {
        const qsizetype quote = field.indexOf(u'"', from);
        appendUtf8(line, field.mid(from, quote < 0 ? field.size() - from : quote + 1 - from));
        if (quote < 0)
            break;
        line += '"';
        from = quote + 1;
    }
    line += '"';
}

bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text[0];
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

void appendValue(QByteArray &line, const Value &v, bool forSpreadsheet)
{
    if (v.isText()) {
        if (forSpreadsheet && looksLikeFormula(v.asText()))
            appendField(line, QString(u'\'' + v.asText()));
        else
            appendField(line, v.asText());
    } else if (v.isDouble()) {
        line += csvNumberBytes(v.asDouble());
    }
}

} // namespace

QByteArray csvNumberBytes(double d)
{
    // number() drops the sign of zero, which reads back as another double.
    if (d == 0 && std::signbit(d))
        return QByteArrayLiteral("-0");
    // QByteArray::number never uses the locale; 'g' with this precision is the shortest round trip.
    return QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
}

QString csvNumber(double d)
{
    return QString::fromLatin1(csvNumberBytes(d));
}

CsvWriter::CsvWriter(QIODevice &out, bool forSpreadsheet) : m_out(out), m_forSpreadsheet(forSpreadsheet)
{
    if (forSpreadsheet)
        write(QByteArrayLiteral("\xEF\xBB\xBF"));
}

void CsvWriter::header(const QStringList &fields)
{
    m_line.clear();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_line += ',';
        appendField(m_line, fields[i]);
    }
    m_line += "\r\n";
    write(m_line);
}

void CsvWriter::row(const std::vector<Value> &values)
{
    m_line.clear();
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            m_line += ',';
        appendValue(m_line, values[i], m_forSpreadsheet);
    }
    m_line += "\r\n";
    write(m_line);
}

void CsvWriter::write(const QByteArray &bytes)
{
    // After one failure nothing more is written, so the output never has a hole in its middle.
    if (m_ok && m_out.write(bytes) != bytes.size())
        m_ok = false;
}

} // namespace zefto::records
