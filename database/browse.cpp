#include "browse.h"

#include "schema.h"

namespace zefto::browse {
namespace {

QString inside(const QString &key, KeyRange within)
{
    return QStringLiteral("%1 BETWEEN %2 AND %3").arg(key).arg(within.first).arg(within.second);
}

} // namespace

QString countStatement(const QString &key, KeyRange within)
{
    return QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(QLatin1String(schema::tableName), inside(key, within));
}

QString keyAtStatement(const QString &key, KeyRange within, qint64 from, qint64 offset, bool down)
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 AND %1 %4 %5 ORDER BY %1%6 LIMIT 1 OFFSET %7")
        .arg(key, QLatin1String(schema::tableName), inside(key, within), down ? QStringLiteral("<=") : QStringLiteral(">="))
        .arg(from)
        .arg(down ? QStringLiteral(" DESC") : QString())
        .arg(offset);
}

QString afterStatement(const QString &key, KeyRange within, qint64 after, int limit)
{
    return QStringLiteral("SELECT * FROM %1 WHERE %2 AND %3 > %4 ORDER BY %3 LIMIT %5")
        .arg(QLatin1String(schema::tableName), inside(key, within), key)
        .arg(after)
        .arg(limit);
}

QString sortedKeysStatement(const QString &key, KeyRange within, int field, bool descending,
                            const std::function<QString(const QString &column)> &asNumber)
{
    const QString column = u'"' + schema::fieldName(schema::Field(field)) + u'"';
    // Numbers are kept as text: "100" sorts after "20" only when read as a number.
    const QString direction = descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" NULLS FIRST");
    const QString value = schema::readsAsNumber(schema::Field(field)) ? asNumber(column) : column;
    const QString order = value + direction + u',' + key + (descending ? QStringLiteral(" DESC") : QString());
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4")
        .arg(key, QLatin1String(schema::tableName), inside(key, within), order);
}

QString keysStatement(const QString &key, const std::vector<qint64> &keys)
{
    QStringList listed;
    listed.reserve(qsizetype(keys.size()));
    for (qint64 k : keys)
        listed << QString::number(k);
    return QStringLiteral("SELECT * FROM %1 WHERE %2 IN (%3) ORDER BY %2")
        .arg(QLatin1String(schema::tableName), key, listed.isEmpty() ? QStringLiteral("NULL") : listed.join(u','));
}

} // namespace zefto::browse
