#pragma once

#include "value.h"

#include <QString>
#include <QStringList>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace zefto::records {

// Writes records to an .xlsx workbook through libxlsxwriter: one sheet named
// "ovrekson", the header row frozen, texts as text cells (blanks kept, "  300"
// stays text), doubles as numbers, no value as an empty cell. Characters a
// sheet cannot hold are written as U+FFFD and counted. Rows go to a temporary
// file as they come, so memory stays small; the workbook is only written at close().
class XlsxWriter {
public:
    // The rows a sheet holds under its header row.
    static constexpr qint64 maxRecords = 1048575;

    // Throws Error when `path` is a folder or its folder cannot be written.
    explicit XlsxWriter(const QString &path);
    XlsxWriter(const XlsxWriter &) = delete;
    XlsxWriter &operator=(const XlsxWriter &) = delete;
    // Without close(), nothing is written.
    ~XlsxWriter();

    void header(const QStringList &fields);
    // Throws Error past maxRecords rows, or when a value cannot be written.
    void row(const std::vector<Value> &values);
    // How many characters were written as U+FFFD.
    int replacedCharacters() const { return m_replaced; }
    // Writes the file; throws Error (removing what it wrote) when it cannot.
    void close();

private:
    void writeText(int row, int column, const QString &text);

    QString m_path;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    qint64 m_rows = 0; // records written under the header
    int m_replaced = 0;
};

} // namespace zefto::records
