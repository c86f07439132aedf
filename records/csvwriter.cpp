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

QString fieldText(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return v.asText();
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

CsvWriter::CsvWriter(QIODevice &out, bool byteOrderMark) : m_out(out)
{
    if (byteOrderMark)
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
        appendField(m_line, fieldText(values[i]));
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
