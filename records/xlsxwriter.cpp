#include "xlsxwriter.h"

#include "csvwriter.h"
#include "error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cctype>
#include <cmath>
// The library's parts by their own paths: <xlsxwriter.h> would find our header of the same name.
#include <xlsxwriter/utility.h>
#include <xlsxwriter/workbook.h>
#include <xlsxwriter/worksheet.h>

namespace zefto::records {
namespace {

// Whether text[i..] is an escape _xHHHH_ that a sheet reader would decode.
bool looksEscaped(const QString &text, qsizetype i)
{
    if (i + 7 > text.size() || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (!isxdigit(text[k].unicode() < 0x80 ? int(text[k].unicode()) : 0))
            return false;
    return true;
}

// Controls other than tab, LF and CR, U+FFFE/U+FFFF and unpaired surrogates are not allowed in the sheet's XML.
QString sheetText(const QString &text, int &replaced)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
            continue;
        }
        // libxlsxwriter writes CR as _x000D_, so a literal _xHHHH_ is escaped as _x005F_xHHHH_ to survive.
        if (looksEscaped(text, i))
            out += QStringLiteral("_x005F");
        const bool badControl = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
        if (badControl || c == 0xFFFE || c == 0xFFFF || QChar::isSurrogate(c)) {
            out += QChar(0xFFFD);
            ++replaced;
        } else {
            out += QChar(c);
        }
    }
    return out;
}

// libxlsxwriter's words for an error, ending in one full stop.
QString reason(lxw_error e)
{
    QString words = QString::fromUtf8(lxw_strerror(e));
    if (!words.endsWith(u'.'))
        words += u'.';
    return words;
}

Error writeError(const QString &path, lxw_error e)
{
    return Error(err::DeviceIo, QStringLiteral("Cannot write the workbook '%1': %2").arg(path, reason(e)));
}

} // namespace

XlsxWriter::XlsxWriter(const QString &path) : m_path(QFileInfo(path).absoluteFilePath())
{
    const QFileInfo file(m_path);
    if (file.isDir())
        throw Error(err::PathAccess, QStringLiteral("Cannot write the workbook '%1': it is a folder.").arg(m_path));
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir() || !folder.isWritable())
        throw Error(err::PathAccess, QStringLiteral("Cannot write the workbook '%1': its folder '%2' is not writable.")
                                         .arg(m_path, folder.absoluteFilePath()));
    // Constant memory: each row leaves memory for a temporary file once the next one starts.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    m_book = workbook_new_opt(QFile::encodeName(m_path).constData(), &options);
    if (m_book)
        m_sheet = workbook_add_worksheet(m_book, "ovrekson");
    if (!m_sheet) {
        if (m_book)
            lxw_workbook_free(m_book);
        m_book = nullptr;
        throw writeError(m_path, LXW_ERROR_MEMORY_MALLOC_FAILED);
    }
}

XlsxWriter::~XlsxWriter()
{
    if (m_book)
        lxw_workbook_free(m_book);
}

void XlsxWriter::writeText(int row, int column, const QString &text)
{
    const QByteArray utf8 = sheetText(text, m_replaced).toUtf8();
    if (const lxw_error e = worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(column), utf8.constData(), nullptr);
        e != LXW_NO_ERROR)
        throw Error(err::DeviceIo, QStringLiteral("Cannot write record %1, column %2, to the workbook '%3': %4")
                                       .arg(row)
                                       .arg(column + 1)
                                       .arg(m_path, reason(e)));
}

void XlsxWriter::header(const QStringList &fields)
{
    if (!m_book)
        throw Error::of(err::ObjectInvalid);
    for (qsizetype i = 0; i < fields.size(); ++i)
        writeText(0, int(i), fields[i]);
    worksheet_freeze_panes(m_sheet, 1, 0);
}

void XlsxWriter::row(const std::vector<Value> &values)
{
    if (!m_book)
        throw Error::of(err::ObjectInvalid);
    if (m_rows >= maxRecords)
        throw Error(err::Overflow, QStringLiteral("A sheet holds at most %1 records; the workbook '%2' cannot take more.")
                                       .arg(maxRecords)
                                       .arg(m_path));
    const int r = int(++m_rows);
    for (size_t c = 0; c < values.size(); ++c) {
        const Value &v = values[c];
        if (v.isText()) {
            writeText(r, int(c), v.asText());
        } else if (v.isDouble()) {
            // A sheet has no infinity or NaN: such a value is kept as its text.
            if (!std::isfinite(v.asDouble()))
                writeText(r, int(c), csvNumber(v.asDouble()));
            else
                worksheet_write_number(m_sheet, lxw_row_t(r), lxw_col_t(c), v.asDouble(), nullptr);
        }
    }
}

void XlsxWriter::close()
{
    if (!m_book)
        return;
    lxw_workbook *book = m_book;
    m_book = nullptr;
    m_sheet = nullptr;
    // workbook_close frees the workbook whatever it returns.
    if (const lxw_error e = workbook_close(book); e != LXW_NO_ERROR) {
        if (e != LXW_ERROR_CREATING_XLSX_FILE)
            QFile::remove(m_path); // a half-written workbook would only mislead
        throw writeError(m_path, e);
    }
}

} // namespace zefto::records
