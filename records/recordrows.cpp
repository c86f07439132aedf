#include "recordrows.h"

#include "csvwriter.h"
#include "schema.h"

#include <algorithm>

namespace zefto::records {

const QStringList &recordFields()
{
    return schema::fieldNames();
}

FieldPlaces::FieldPlaces(const QStringList &columns) : m_key(columns.indexOf(QStringLiteral("id")))
{
    for (const QString &f : recordFields())
        m_at.push_back(columns.indexOf(f));
    bool together = !m_at.empty() && m_at.front() >= 0;
    for (size_t i = 1; together && i < m_at.size(); ++i)
        together = m_at[i] == m_at.front() + qsizetype(i);
    m_first = together ? m_at.front() : -1;
}

const Value *FieldPlaces::inPlace(const Record &record) const
{
    return m_first >= 0 && size_t(m_first) + m_at.size() <= record.size() ? record.data() + m_first : nullptr;
}

qint64 FieldPlaces::key(const Record &record) const
{
    return m_key >= 0 && size_t(m_key) < record.size() && record[size_t(m_key)].isDouble()
               ? qint64(record[size_t(m_key)].asDouble())
               : 0;
}

void FieldPlaces::fields(const Record &record, std::vector<Value> &fields) const
{
    fields.resize(m_at.size());
    // Copied over the texts `fields` held: the store writes over its record's texts from record to record,
    // and texts shared with it would be given up and allocated again every record.
    for (size_t i = 0; i < m_at.size(); ++i) {
        if (m_at[i] >= 0 && size_t(m_at[i]) < record.size())
            fields[i].copyFrom(record[size_t(m_at[i])]);
        else
            fields[i] = Value::null();
    }
}

qint64 keyOf(const QStringList &columns, const Record &record)
{
    return keyIn(columns, record);
}

std::vector<Value> inFieldOrder(const QStringList &columns, const Record &record)
{
    std::vector<Value> out;
    FieldPlaces(columns).fields(record, out);
    return out;
}

QString cellText(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return v.asText();
    case Value::Kind::Double: return csvNumber(v.asDouble());
    default: return QString();
    }
}

QString escapedControls(const QString &text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F); };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (!isControl(c))
            out += c;
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace zefto::records
