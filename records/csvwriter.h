#pragma once

#include "value.h"

#include <QIODevice>
#include <QStringList>
#include <vector>

namespace zefto::records {

// Writes records as RFC 4180 CSV in UTF-8: CRLF after every line, a field
// quoted only when it holds a comma, a quote, CR or LF (its quotes doubled),
// texts exactly as stored, no value (unset or null) as an empty field,
// numbers as csvNumber writes them.
class CsvWriter {
public:
    // `forSpreadsheet` (a file, never standard output): EF BB BF first, and a
    // text beginning with = + - @, a tab or CR gets a leading apostrophe, so a
    // spreadsheet shows it as text instead of running it as a formula.
    CsvWriter(QIODevice &out, bool forSpreadsheet);

    void header(const QStringList &fields);
    void row(const std::vector<Value> &values);
    // False once any write to the device has failed.
    bool ok() const { return m_ok; }

private:
    void write(const QByteArray &bytes);

    QIODevice &m_out;
    bool m_forSpreadsheet;
    bool m_ok = true;
    QByteArray m_line;
};

// A double with "." and the fewest digits that read back to the same double,
// whatever the locale: 1250.5, 0.1, 1e+21, -0.
QString csvNumber(double d);
// The same as Latin-1 bytes, for writers.
QByteArray csvNumberBytes(double d);
// The most bytes csvNumber takes ("-1.2345678901234567e-308" and room to spare).
constexpr qsizetype csvNumberRoom = 32;
// Writes csvNumber's bytes at `to`, which has csvNumberRoom bytes; returns the end.
char *writeNumber(char *to, double d);

} // namespace zefto::records
