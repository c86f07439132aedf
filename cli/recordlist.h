#pragma once

#include <QString>

namespace zefto::cli {

// The largest record key in the file's ovrekson, 0 for an empty table.
qint64 lastRecordId(const QString &databasePath);

// Prints the records with a key above `afterId`, one per line, fields
// separated by tabs, NULL shown as "(null)".
void printRecords(const QString &databasePath, qint64 afterId);

} // namespace zefto::cli
