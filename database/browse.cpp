#include "browse.h"

#include "schema.h"

#include <algorithm>
#include <limits>

namespace zefto::browse {
namespace {

// One range on the key, never two: given BETWEEN and another bound, SQLite
// seeks by one of them and only tests the other, so every block read from
// the middle of a table scanned it from the start.
QString inside(const QString &key, KeyRange within)
{
    return QStringLiteral("%1 BETWEEN %2 AND %3").arg(key).arg(within.first).arg(within.second);
}

// The keys of `within` from `lowest` to `highest`; empty (first > second) when they do not meet.
KeyRange narrowed(KeyRange within, qint64 lowest, qint64 highest)
{
    return {std::max(within.first, lowest), std::min(within.second, highest)};
}

constexpr qint64 lowestKey = std::numeric_limits<qint64>::min();
constexpr qint64 highestKey = std::numeric_limits<qint64>::max();

} // namespace

QString countStatement(const QString &key, KeyRange within)
{
    return QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
        .arg(QLatin1String(schema::tableName), inside(key, within));
}

QString keyAtStatement(const QString &key, KeyRange within, qint64 from, qint64 offset, bool down)
{
    const KeyRange part = down ? narrowed(within, lowestKey, from) : narrowed(within, from, highestKey);
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1%4 LIMIT 1 OFFSET %5")
        .arg(key, QLatin1String(schema::tableName), inside(key, part))
        .arg(down ? QStringLiteral(" DESC") : QString())
        .arg(offset);
}

QString afterStatement(const QString &key, KeyRange within, qint64 after, int limit)
{
    return matchingStatement(key, within, after, limit, QStringLiteral("TRUE"));
}

QString matchingStatement(const QString &key, KeyRange within, qint64 after, int limit, const QString &condition)
{
    return QStringLiteral("SELECT * FROM %1 WHERE %2 AND %3 ORDER BY %4 LIMIT %5")
        .arg(QLatin1String(schema::tableName), inside(key, narrowed(within, after + 1, highestKey)), condition, key)
        .arg(limit);
}

QString sortedKeysStatement(const QString &key, KeyRange within, SortBy by,
                            const std::function<QString(const QString &column, bool number)> &ordered)
{
    const QString column = u'"' + schema::fieldName(schema::Field(by.field)) + u'"';
    const bool down = by.scanAlongOrder && by.descending;
    const QString k = down ? QStringLiteral("sort_key") : key;
    // Numbers are kept as text: "100" sorts after "20" only when read as a number.
    const QString direction = by.descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" NULLS FIRST");
    const QString value = ordered(column, schema::readsAsNumber(schema::Field(by.field)));
    const QString order = value + direction + u',' + k + (by.descending ? QStringLiteral(" DESC") : QString());
    // With a limit both backends keep only the best rows while scanning, instead of sorting them all.
    const QString limit = by.limit >= 0 ? QStringLiteral(" LIMIT %1").arg(by.limit) : QString();
    if (down)
        return QStringLiteral("SELECT %1 FROM (SELECT %2 AS %1, %3 FROM %4 WHERE %5 ORDER BY %2 DESC LIMIT -1) ORDER "
                              "BY %6%7")
            .arg(k, key, column, QLatin1String(schema::tableName), inside(key, within), order, limit);
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4%5")
        .arg(key, QLatin1String(schema::tableName), inside(key, within), order, limit);
}

QString matchingKeysStatement(const QString &key, KeyRange within, qint64 after, qint64 upTo, const QString &condition)
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 AND %4 ORDER BY %1")
        .arg(key, QLatin1String(schema::tableName), inside(key, narrowed(within, after + 1, upTo)), condition);
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
