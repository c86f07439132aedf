#pragma once

#include "database.h"
#include "refusal.h"

#include <optional>

namespace zefto::records {

// What an export wrote.
struct Exported {
    qint64 records = 0;
    int replacedCharacters = 0; // characters a sheet cannot hold, written as U+FFFD
};

// Whether `path` names a file export writes: .csv or .xlsx, in any case.
bool exportable(const QString &path);

// Writes the records `keys` and `filter` choose (see forEachChosen), read in
// one snapshot, to `path`: CSV for spreadsheets (a byte order mark, formula-
// looking texts quoted as text), or an XLSX workbook, by its suffix. The file
// takes the place of `path` only once complete (see AtomicFile); a Refusal or
// Error leaves `path` as it was. Refuses a target that is not a regular file
// and more records than a sheet holds before writing any.
Exported exportRecords(Database &db, const QString &path, KeyRange keys, const std::optional<QString> &filter);
// As above, the records of `ranges` in turn as forEachInRanges hands them: a grid's rows in the order shown.
Exported exportRecords(Database &db, const QString &path, const std::vector<KeyRange> &ranges,
                       const std::optional<QString> &filter);

} // namespace zefto::records
