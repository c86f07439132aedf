#include "recordrows.h"

#include "csvwriter.h"
#include "letterfold.h"
#include "schema.h"

#include <algorithm>

namespace zefto::records {

const QStringList &recordFields()
{
    return schema::fieldNames();
}

qint64 keyOf(const QStringList &columns, const Record &record)
{
    const qsizetype at = columns.indexOf(QStringLiteral("id"));
    return at >= 0 && size_t(at) < record.size() && record[size_t(at)].isDouble() ? qint64(record[size_t(at)].asDouble())
                                                                                  : 0;
}

std::vector<Value> inFieldOrder(const QStringList &columns, const Record &record)
{
    std::vector<Value> out;
    out.reserve(schema::FieldCount);
    for (const QString &f : recordFields()) {
        const qsizetype at = columns.indexOf(f);
        out.push_back(at >= 0 && size_t(at) < record.size() ? record[size_t(at)] : Value::null());
    }
    return out;
}

bool matchesFilter(const std::vector<Value> &fields, const QString &text)
{
    using namespace schema;
    for (const Field f : {Adi, Soyadi, Babaadi, Yada, Yparsel, Eada, Eparsel, Mahalle})
        if (fields[f].isText() && containsFolded(fields[f].asText(), text))
            return true;
    return false;
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
