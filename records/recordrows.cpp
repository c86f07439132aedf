#include "recordrows.h"

#include "csvwriter.h"
#include "schema.h"

namespace zefto::records {

const QStringList &recordFields()
{
    return schema::fieldNames();
}

qint64 keyOf(const QStringList &columns, const Record &record)
{
    return keyIn(columns, record);
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

QString cellText(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return v.asText();
    case Value::Kind::Double: return csvNumber(v.asDouble());
    default: return QString();
    }
}

} // namespace zefto::records
