#pragma once

#include "value.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zefto::records {

class AtomicFile;
class ZipWriter;

// Writes records to an .xlsx workbook: one sheet named "ovrekson", the header
// row frozen, texts as inline text cells (blanks kept, "  300" stays text),
// doubles as numbers with "." and the fewest digits that read back exactly
// (whatever the locale), no value as no cell, a row of none as no row.
// Characters a sheet cannot hold are written as U+FFFD and counted. Rows are
// compressed as they come, so memory stays small; the file takes the place of
// `path` only at close().
class XlsxWriter {
public:
    // The rows a sheet holds under its header row.
    static constexpr qint64 maxRecords = 1048575;

    // Throws Error when `path` cannot be written (a folder, a device, no folder).
    explicit XlsxWriter(const QString &path);
    XlsxWriter(const XlsxWriter &) = delete;
    XlsxWriter &operator=(const XlsxWriter &) = delete;
    // Without close(), nothing is written and an existing file stays as it was.
    ~XlsxWriter();

    void header(const QStringList &fields);
    // Throws Error past maxRecords rows, or when the bytes cannot be written.
    void row(const std::vector<Value> &values);
    // How many characters were written as U+FFFD.
    int replacedCharacters() const { return m_replaced; }
    // Completes the file and puts it in place; throws Error (the old file untouched) when it cannot.
    void close();

private:
    void cells(int row, const std::vector<Value> &values);
    template <class Step> void guarded(Step step);

    QString m_path;
    std::unique_ptr<AtomicFile> m_file;
    std::unique_ptr<ZipWriter> m_zip;
    QByteArray m_line; // the row being built
    qint64 m_rows = 0; // records written under the header
    int m_replaced = 0;
    bool m_closed = false;
};

} // namespace zefto::records
