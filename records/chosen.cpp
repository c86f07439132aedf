#include "chosen.h"

#include "recordrows.h"

namespace zefto::records {

KeyRange keysOf(const Conversion &c, const QString &database)
{
    if (c.undone())
        throw Refusal{QStringLiteral("Conversion %1 of '%2' was undone on %3 by %4; it has no records.")
                          .arg(c.id)
                          .arg(database, conversionlog::shownTime(c.undoneAt), c.undoneBy)};
    return {c.firstKey, c.lastKey};
}

void forEachChosen(Database &db, KeyRange keys, const std::optional<QString> &filter,
                   const std::function<void(const std::vector<Value> &)> &each)
{
    forEachChosenKeyed(db, keys, filter, [&](qint64, const std::vector<Value> &fields) { each(fields); });
}

void forEachChosenKeyed(Database &db, KeyRange keys, const std::optional<QString> &filter,
                        const std::function<void(qint64 key, const std::vector<Value> &)> &each)
{
    if (keys.first <= 0)
        return; // a conversion that stored nothing
    constexpr int chunk = 4096;
    const FieldPlaces places(db.columns());
    qint64 after = keys.first - 1;
    std::vector<Value> fields;
    // A block shorter than asked for is the last: the database tests the filter itself.
    for (int read = chunk; read == chunk;) {
        read = 0;
        const auto take = [&](const Record &r) {
            ++read;
            after = places.key(r);
            places.fields(r, fields);
            each(after, fields);
        };
        if (filter)
            db.readMatching(keys, after, chunk, *filter, take);
        else
            db.readAfter(keys, after, chunk, take);
    }
}

qint64 countChosen(Database &db, KeyRange keys, const std::optional<QString> &filter)
{
    if (!filter)
        return keys.first <= 0 ? 0 : db.countRecords(keys);
    qint64 n = 0;
    if (keys.first > 0)
        db.matchingKeys(keys, keys.first - 1, keys.second, *filter, [&](qint64) { ++n; });
    return n;
}

} // namespace zefto::records
