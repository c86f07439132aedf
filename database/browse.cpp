#include "browse.h"

#include "schema.h"

#include <algorithm>

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
    // One lower bound: given two, SQLite may seek by the range's start and
    // filter on `after`, reading every earlier record again at each call.
    return QStringLiteral("SELECT * FROM %1 WHERE %2 > %3 AND %2 <= %4 ORDER BY %2 LIMIT %5")
        .arg(QLatin1String(schema::tableName), key)
        .arg(std::max(after, within.first - 1))
        .arg(within.second)
        .arg(limit);
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
