#pragma once

#include <QString>

namespace zefto::reportcheck {

// Whether some line at a data-block position is as long as a full data
// line: a file without one cannot be a share table report. Reads the file
// again and never throws; a file that cannot be read has no such line.
bool hasFullDataLine(const QString &path);

// Whether a path names the database file or one of its side files (its
// journal, or a write-ahead log and its index), however the path is spelled.
// Always false for a database on a server.
bool isDatabaseFile(const QString &path, const QString &databasePath);

} // namespace zefto::reportcheck
