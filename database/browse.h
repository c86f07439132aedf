#pragma once

#include "store.h"

#include <QString>
#include <functional>
#include <vector>

// The statements both backends use to read ovrekson a window at a time by
// key. Only integers we hold are put into them, so they are written inline.
namespace zefto::browse {

// How many records have keys in `within`.
QString countStatement(const QString &key, KeyRange within);
// The key `offset` records on from `from` (itself offset 0 when stored), upwards or `down`, inside `within`.
QString keyAtStatement(const QString &key, KeyRange within, qint64 from, qint64 offset, bool down);
// Up to `limit` whole records with keys above `after`, inside `within`, in key order.
QString afterStatement(const QString &key, KeyRange within, qint64 after, int limit);
// How keys are sorted: by field `field` (schema order), then by key; at most `limit` of them (all below 0).
struct SortBy {
    int field;
    bool descending;
    qint64 limit;
    // SQLite only: the rows are read from the last key down for a descending sort, through a
    // co-routine. Records mostly arrive in their blocks' order, and a LIMIT keeps its best rows
    // cheaply only when better ones come first: else every row read displaces one kept.
    bool scanAlongOrder = false;
};
// The keys inside `within` in the order `by`; a field's column is ordered by
// `ordered(column, number)`: for a field that reads as a number, the number
// its text reads as, else the text in Turkish order.
QString sortedKeysStatement(const QString &key, KeyRange within, SortBy by,
                            const std::function<QString(const QString &column, bool number)> &ordered);
// As afterStatement, only the records that meet `condition` (SQL the backend writes).
QString matchingStatement(const QString &key, KeyRange within, qint64 after, int limit, const QString &condition);
// The keys above `after` and up to `upTo`, inside `within`, of the records that meet `condition`, ascending.
QString matchingKeysStatement(const QString &key, KeyRange within, qint64 after, qint64 upTo, const QString &condition);
// The whole records with these keys, in key order.
QString keysStatement(const QString &key, const std::vector<qint64> &keys);

} // namespace zefto::browse
