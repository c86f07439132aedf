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

// Writes the records `keys` and `filter` choose (see forEachChosen) to
// `path`: CSV with a byte order mark, or an XLSX workbook, by its suffix.
// The file appears only once complete; a Refusal or Error leaves none.
// Refuses more records than a sheet holds before writing any.
Exported exportRecords(Database &db, const QString &path, KeyRange keys, const std::optional<QString> &filter);

} // namespace zefto::records
