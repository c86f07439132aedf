#pragma once

#include "database.h"

#include <QList>
#include <QTextStream>

namespace zefto::cli {

// Prints the records whose keys lie in the given ranges, a header line of
// field names first, one record per line, fields separated by tabs, NULL
// shown as "(null)". Reads through `db`; throws Error when it cannot.
void printRecords(Database &db, const QList<KeyRange> &keyRanges, QTextStream &out);

} // namespace zefto::cli
