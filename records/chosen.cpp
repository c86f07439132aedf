#include "chosen.h"

#include "recordrows.h"
#include "schema.h"

#include <algorithm>
#include <map>

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
                   const std::function<void(Fields)> &each)
{
    forEachChosenKeyed(db, keys, filter, [&](qint64, Fields fields) { each(fields); });
}

void forEachChosenKeyed(Database &db, KeyRange keys, const std::optional<QString> &filter,
                        const std::function<void(qint64 key, Fields)> &each)
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
            // The store's own record where its fields stand in order: a million records are not copied.
            if (const Value *in = places.inPlace(r)) {
                each(after, Fields(in, size_t(schema::FieldCount)));
                return;
            }
            places.fields(r, fields);
            each(after, fields);
        };
        if (filter)
            db.readMatching(keys, after, chunk, *filter, take);
        else
            db.readAfter(keys, after, chunk, take);
    }
}

void forEachListed(Database &db, const std::vector<qint64> &keys,
                   const std::function<void(qint64 key, const std::vector<Value> &)> &each)
{
    constexpr size_t chunk = 4096;
    const FieldPlaces places(db.columns());
    const std::vector<Value> gone;
    for (size_t from = 0; from < keys.size(); from += chunk) {
        const std::vector<qint64> part(keys.begin() + qsizetype(from),
                                       keys.begin() + qsizetype(std::min(keys.size(), from + chunk)));
        // The store reads in key order; the records are handed on in the list's.
        std::vector<qint64> ascending = part;
        std::sort(ascending.begin(), ascending.end());
        std::map<qint64, std::vector<Value>> found;
        db.readKeys(ascending, [&](const Record &r) { places.fields(r, found[places.key(r)]); });
        for (qint64 k : part) {
            const auto at = found.find(k);
            each(k, at != found.end() ? at->second : gone);
        }
    }
}

void forEachInRanges(Database &db, const std::vector<KeyRange> &ranges, const std::optional<QString> &filter,
                     const std::function<void(Fields)> &each)
{
    std::vector<qint64> single;
    const auto flush = [&] {
        forEachListed(db, single, [&](qint64, const std::vector<Value> &fields) {
            if (!fields.empty())
                each(fields);
        });
        single.clear();
    };
    for (const KeyRange &r : ranges) {
        if (r.first == r.second && r.first > 0) {
            single.push_back(r.first);
            continue;
        }
        flush();
        forEachChosen(db, r, filter, each);
    }
    flush();
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
