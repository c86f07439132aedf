#pragma once

#include <QByteArray>
#include <QString>

namespace zefto::reportcheck {

// Whether some line at a data-block position is as long as a full data
// line: a file without one cannot be a share table report. Reads the file
// again and never throws; a file that cannot be read has no such line.
bool hasFullDataLine(const QString &path);

// Whether a file is plainly not text: it starts as an archive, a workbook,
// a PDF or an image does, or more than one byte in fifty of its first 64 KiB
// is a control byte no printed report has (a run of NULs counting once). A
// report's NUL tail (a file cut short by a crash), a few NULs in a damaged
// line and printer codes (ESC, SI, SO, form feed) do not make it so. Never
// throws; a file that cannot be read is not judged.
bool isNotText(const QString &path);
// The same judgement on the first bytes of a file.
bool isNotText(const QByteArray &head);

// Whether a path names the database file or one of its side files (its
// journal, or a write-ahead log and its index), however the path is spelled.
// Always false for a database on a server.
bool isDatabaseFile(const QString &path, const QString &databasePath);

} // namespace zefto::reportcheck
