#pragma once

#include "database.h"
#include "refusal.h"

#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace zefto::records {

// Every key: the records of all conversions and of none.
inline constexpr KeyRange allKeys{1, std::numeric_limits<qint64>::max()};

// The keys of conversion `c`'s records; a Refusal for one that was undone.
KeyRange keysOf(const Conversion &c, const QString &database);

// The 19 fields of a record, in table order, valid while the call they are handed to lasts.
using Fields = std::span<const Value>;

// Hands each record with a key in `keys` that matches `filter` (every one
// without a filter) to `each` as the 19 fields, in key order. Reads a few
// thousand records at a time, so memory stays small on either backend.
void forEachChosen(Database &db, KeyRange keys, const std::optional<QString> &filter,
                   const std::function<void(Fields)> &each);

// As forEachChosen, with each record's key.
void forEachChosenKeyed(Database &db, KeyRange keys, const std::optional<QString> &filter,
                        const std::function<void(qint64 key, Fields)> &each);

// Hands the record of each key in `keys`, in the order listed (a sorted
// grid's order), to `each`, reading a few thousand at a time; a key whose
// record is gone comes with no fields.
void forEachListed(Database &db, const std::vector<qint64> &keys,
                   const std::function<void(qint64 key, const std::vector<Value> &)> &each);

// The records of each range in turn as forEachChosen hands them, those of
// one-key ranges without testing the filter again (a grid's rows, already
// chosen) and together, however many there are.
void forEachInRanges(Database &db, const std::vector<KeyRange> &ranges, const std::optional<QString> &filter,
                     const std::function<void(Fields)> &each);

// How many records forEachChosen would hand over.
qint64 countChosen(Database &db, KeyRange keys, const std::optional<QString> &filter);

} // namespace zefto::records
