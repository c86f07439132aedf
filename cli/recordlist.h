#pragma once

#include <QList>
#include <QString>
#include <utility>

namespace zefto::cli {

// Prints the records whose keys lie in the given (first, last) ranges, one
// per line, fields separated by tabs, NULL shown as "(null)". Throws Error
// when the file cannot be read.
void printRecords(const QString &databasePath, const QList<std::pair<qint64, qint64>> &keyRanges);

} // namespace zefto::cli
