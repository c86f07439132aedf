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
    if (keys.first <= 0)
        return; // a conversion that stored nothing
    constexpr int chunk = 4096;
    Store &store = db.store();
    const FieldOrder order(store.columns());
    std::vector<Value> fields;
    qint64 after = keys.first - 1;
    for (int read = chunk; read == chunk;) {
        read = 0;
        store.readAfter(keys, after, chunk, [&](const Record &r) {
            ++read;
            after = order.keyOf(r);
            order.fill(r, fields);
            if (!filter || matchesFilter(fields, *filter))
                each(fields);
        });
    }
}

qint64 countChosen(Database &db, KeyRange keys, const std::optional<QString> &filter)
{
    if (!filter)
        return keys.first <= 0 ? 0 : db.store().countRecords(keys);
    qint64 n = 0;
    forEachChosen(db, keys, filter, [&](const std::vector<Value> &) { ++n; });
    return n;
}

} // namespace zefto::records
