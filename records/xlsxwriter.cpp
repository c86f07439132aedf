#include "xlsxwriter.h"

#include "atomicfile.h"
#include "csvwriter.h"
#include "error.h"
#include "refusal.h"
#include "zipwriter.h"

#include <QFileInfo>
#include <cmath>

namespace zefto::records {
namespace {

const char *const xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char *const mainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char *const relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The parts around the sheet, each as {name, content}.
const char *const parts[][2] = {
    {"[Content_Types].xml",
     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
     "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
     "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
     "<Override PartName=\"/xl/workbook.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
     "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
     "<Override PartName=\"/xl/styles.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
     "<Override PartName=\"/docProps/app.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
     "</Types>"},
    {"_rels/.rels",
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "officeDocument\" Target=\"xl/workbook.xml\"/>"
     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "extended-properties\" Target=\"docProps/app.xml\"/>"
     "</Relationships>"},
    {"docProps/app.xml",
     "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
     "<Application>Zefto</Application></Properties>"},
    {"xl/workbook.xml",
     "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
     "<sheets><sheet name=\"ovrekson\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
    {"xl/_rels/workbook.xml.rels",
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "styles\" Target=\"styles.xml\"/>"
     "</Relationships>"},
    {"xl/styles.xml",
     "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
     "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
     "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
     "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
     "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
     "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
     "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
     "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
     "</styleSheet>"},
};

// Whether text[i..] is an escape _xHHHH_ that a sheet reader would decode.
bool looksEscaped(const QString &text, qsizetype i)
{
    if (i + 7 > text.size() || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (const char16_t h = text[k].unicode();
            !((h >= u'0' && h <= u'9') || (h >= u'a' && h <= u'f') || (h >= u'A' && h <= u'F')))
            return false;
    return true;
}

// The text as the content of an XML element. Controls other than tab and LF,
// U+FFFE/U+FFFF and unpaired surrogates are not allowed in XML: U+FFFD, counted.
// CR would be read back as LF, so it goes as the sheet's own escape _x000D_,
// and a literal _xHHHH_ is escaped as _x005F_xHHHH_ to survive.
QString sheetText(const QString &text, int &replaced)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (looksEscaped(text, i))
            out += QStringLiteral("_x005F");
        switch (c) {
        case u'&': out += QStringLiteral("&amp;"); continue;
        case u'<': out += QStringLiteral("&lt;"); continue;
        case u'>': out += QStringLiteral("&gt;"); continue;
        case u'\r': out += QStringLiteral("_x000D_"); continue;
        default: break;
        }
        const bool badControl = c < 0x20 && c != u'\t' && c != u'\n';
        if (badControl || c == 0xFFFE || c == 0xFFFF || QChar::isSurrogate(c)) {
            out += QChar(0xFFFD);
            ++replaced;
        } else {
            out += QChar(c);
        }
    }
    return out;
}

// A cell reference: column letters, then the row number counted from 1.
void appendReference(QByteArray &to, int column, qint64 row)
{
    if (column >= 26)
        to += char('A' + column / 26 - 1);
    to += char('A' + column % 26);
    to += QByteArray::number(row + 1);
}

} // namespace

XlsxWriter::XlsxWriter(const QString &path) : m_path(QFileInfo(path).absoluteFilePath())
{
    try {
        m_file = std::make_unique<AtomicFile>(m_path);
        m_zip = std::make_unique<ZipWriter>(*m_file);
        for (const auto &[name, content] : parts) {
            m_zip->begin(name);
            m_zip->write(xmlHead, qsizetype(qstrlen(xmlHead)));
            m_zip->write(content, qsizetype(qstrlen(content)));
        }
        m_zip->begin("xl/worksheets/sheet1.xml");
        m_line = QByteArray(xmlHead) + "<worksheet xmlns=\"" + mainNs + "\" xmlns:r=\"" + relNs + "\">"
                 "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">"
                 "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
                 "<selection pane=\"bottomLeft\"/></sheetView></sheetViews><sheetData>";
        m_zip->write(m_line);
    } catch (const Refusal &r) {
        throw Error(err::PathAccess, r.why);
    }
}

XlsxWriter::~XlsxWriter() = default;

template <class Step> void XlsxWriter::guarded(Step step)
{
    if (m_closed)
        throw Error::of(err::ObjectInvalid);
    try {
        step();
    } catch (const Refusal &r) {
        m_closed = true; // what was written is incomplete: it never takes the old file's place
        const QString why = r.why.startsWith(QLatin1String("Cannot write"))
                                ? r.why
                                : QStringLiteral("Cannot write '%1': %2.").arg(m_file->target(), r.why);
        throw Error(err::DeviceIo, why);
    }
}

void XlsxWriter::cells(int row, const std::vector<Value> &values)
{
    m_line.resize(0); // keeps its memory for the next row
    for (size_t c = 0; c < values.size(); ++c) {
        const Value &v = values[c];
        // A sheet has no infinity or NaN: such a value is kept as its text.
        const bool number = v.isDouble() && std::isfinite(v.asDouble());
        if (!number && !v.isText() && !v.isDouble())
            continue;
        if (m_line.isEmpty())
            m_line += "<row r=\"" + QByteArray::number(row + 1) + "\">";
        m_line += "<c r=\"";
        appendReference(m_line, int(c), row);
        if (number) {
            m_line += "\"><v>";
            m_line += csvNumberBytes(v.asDouble());
            m_line += "</v></c>";
        } else {
            m_line += "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">";
            m_line += sheetText(v.isText() ? v.asText() : csvNumber(v.asDouble()), m_replaced).toUtf8();
            m_line += "</t></is></c>";
        }
    }
    // A row without cells is left out, as spreadsheet programs do: every row and cell names its place.
    if (m_line.isEmpty())
        return;
    m_line += "</row>";
    m_zip->write(m_line);
}

void XlsxWriter::header(const QStringList &fields)
{
    std::vector<Value> names;
    for (const QString &f : fields)
        names.push_back(Value::text(f));
    guarded([&] { cells(0, names); });
}

void XlsxWriter::row(const std::vector<Value> &values)
{
    if (m_rows >= maxRecords)
        throw Error(err::Overflow,
                    QStringLiteral("A sheet holds at most %1 records; the workbook '%2' cannot take more.")
                        .arg(maxRecords)
                        .arg(m_path));
    guarded([&] { cells(int(++m_rows), values); });
}

void XlsxWriter::close()
{
    if (m_closed)
        return;
    guarded([&] {
        m_zip->write(QByteArrayLiteral("</sheetData></worksheet>"));
        m_zip->finish();
        m_file->commit();
    });
    m_closed = true;
}

} // namespace zefto::records
