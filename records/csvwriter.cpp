#include "csvwriter.h"

#include <QLocale>
#include <cmath>

namespace zefto::records {
namespace {

bool needsQuotes(const QString &field)
{
    for (QChar c : field)
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    return false;
}

void appendField(QByteArray &line, const QString &field)
{
    if (!needsQuotes(field)) {
        line += field.toUtf8();
        return;
    }
    QString quoted = field;
    quoted.replace(u'"', QStringLiteral("\"\""));
    line += '"';
    line += quoted.toUtf8();
    line += '"';
}

bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text[0];
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

QString fieldText(const Value &v, bool forSpreadsheet)
{
    switch (v.kind()) {
    case Value::Kind::Text: return forSpreadsheet && looksLikeFormula(v.asText()) ? u'\'' + v.asText() : v.asText();
    case Value::Kind::Double: return csvNumber(v.asDouble());
    default: return QString();
    }
}

} // namespace

QString csvNumber(double d)
{
    // QString::number drops the sign of zero, which reads back as another double.
    if (d == 0 && std::signbit(d))
        return QStringLiteral("-0");
    // QString::number never uses the locale; 'g' with this precision is the shortest round trip.
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
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
        appendField(m_line, fieldText(values[i], m_forSpreadsheet));
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
