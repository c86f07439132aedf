#include "csvwriter.h"
#include "errornumber.h"
#include "tempdir.h"
#include "xlsxwriter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>

using zefto::Value;
using zefto::records::csvNumber;
using zefto::records::csvNumberBytes;
using zefto::records::CsvWriter;
using zefto::records::XlsxWriter;

namespace {

QString u(const char16_t *s)
{
    return QString::fromUtf16(s);
}
Value text(const char16_t *s)
{
    return Value::text(u(s));
}

QByteArray csv(bool bom, const QStringList &header, const std::vector<std::vector<Value>> &rows)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CsvWriter w(buffer, bom);
    w.header(header);
    for (const auto &r : rows)
        w.row(r);
    EXPECT_TRUE(w.ok());
    return buffer.data();
}

} // namespace

TEST(CsvNumber, ShortestTextThatReadsBackWithAPointWhateverTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); // a locale whose decimal mark is a comma
    EXPECT_EQ(csvNumber(1250.5), QStringLiteral("1250.5"));
    EXPECT_EQ(csvNumber(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(csvNumber(1e21), QStringLiteral("1e+21"));
    EXPECT_EQ(csvNumber(-0.0), QStringLiteral("-0"));
    EXPECT_EQ(csvNumber(300), QStringLiteral("300"));
    EXPECT_EQ(csvNumber(1.0 / 3), QStringLiteral("0.3333333333333333"));
    QLocale::setDefault(QLocale::c());
    for (double d : {1250.5, 0.1, 1e21, 1.0 / 3, 123456789.123, 5e-324, 1.7976931348623157e308})
        EXPECT_EQ(csvNumber(d).toDouble(), d) << csvNumber(d).toStdString();
}

// csvNumber finds its digits without Qt, for speed: they must stay Qt's to the byte.
TEST(CsvNumber, SameBytesAsQtsShortestOnHardAndGeneratedDoubles)
{
    std::vector<double> ds = {0, 1, 10, 100, 1e5, 1e6, 1200000, 1e15, 1e16, 1e17, 1e20, 1e21, 1e22, 1e100,
                              1e-4, 1e-5, 1e-7, 0.1, 0.3, 0.1 + 0.2, 500.1, 250.05, 1250.5, 625.25, 375.15,
                              999999999999999, 9007199254740993.0, 123456789012345678.0, 0.0001234, 1.5e-10,
                              5e-324, 2.2250738585072014e-308, 1.7976931348623157e308};
    std::mt19937_64 random(19);
    for (int i = 0; i < 100000; ++i) {
        quint64 bits = random();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        ds.push_back(any); // every exponent, denormals too
        ds.push_back(double(qint64(random() % 10000000000)) / std::pow(10.0, int(random() % 9))); // areas
        ds.push_back(std::ldexp(double(random() % 1000), int(random() % 200) - 100));
    }
    for (double d : ds) {
        for (double signed_ : {d, -d}) {
            if (std::isnan(signed_) || signed_ == 0)
                continue;
            ASSERT_EQ(csvNumberBytes(signed_), QByteArray::number(signed_, 'g', QLocale::FloatingPointShortest))
                << std::setprecision(17) << signed_;
        }
    }
}

TEST(CsvWriter, PlainFieldsAreWrittenAsTheyAreWithCrLf)
{
    EXPECT_EQ(csv(false, {QStringLiteral("yada"), u(u"hisyuzolçumu")},
                  {{text(u"  300"), Value::number(1250.5)}, {text(u"Işık Çiftçi "), Value::number(-0.0)}}),
              QByteArray("yada,hisyuzol\xC3\xA7umu\r\n"
                         "  300,1250.5\r\n"
                         "I\xC5\x9F\xC4\xB1k \xC3\x87"
                         "ift"
                         "\xC3\xA7"
                         "i ,-0\r\n"));
}

TEST(CsvWriter, QuotesOnlyFieldsWithCommaQuoteCrOrLfAndDoublesTheirQuotes)
{
    EXPECT_EQ(csv(false, {QStringLiteral("a,b")},
                  {{text(u"say \"hi\""), text(u"one\r\ntwo"), text(u"cr\r"), text(u"lf\n"), text(u" ;\t' ")}}),
              QByteArray("\"a,b\"\r\n"
                         "\"say \"\"hi\"\"\",\"one\r\ntwo\",\"cr\r\",\"lf\n\", ;\t' \r\n"));
}

// Fields with surrogates take Qt's encoder, as they always did (U+FFFD for a lone one, nothing for
// one at the end); the rest a faster path.
TEST(CsvWriter, SurrogatePairsAreFourBytesAndLoneOnesAsQtsEncoderWritesThem)
{
    const QString high(QChar(0xD800)), low(QChar(0xDC00));
    EXPECT_EQ(csv(false, {QStringLiteral("x")},
                  {{text(u"a\U0001F600b"), Value::text(high + u(u"z")), Value::text(u(u"z") + low),
                    Value::text(u(u"z") + high), Value::text(u(u"q\"") + high + u(u",\"ş") + high)}}),
              QByteArray("x\r\na\xF0\x9F\x98\x80\x62,\xEF\xBF\xBDz,z,z,\"q\"\"\xEF\xBF\xBD,\"\"\xC5\x9F\"\r\n"));
}

TEST(CsvWriter, NoValueIsAnEmptyFieldAndNumbersUseAPoint)
{
    EXPECT_EQ(csv(false, {QStringLiteral("x")},
                  {{Value(), Value::null(), Value::number(0.1), Value::number(1e21), text(u""), Value::number(-0.0)}}),
              QByteArray("x\r\n,,0.1,1e+21,,-0\r\n"));
}

TEST(CsvWriter, ByteOrderMarkComesFirstOnlyWhenAsked)
{
    EXPECT_EQ(csv(true, {u(u"adı")}, {}), QByteArray("\xEF\xBB\xBF"
                                                     "ad\xC4\xB1\r\n"));
    EXPECT_EQ(csv(false, {u(u"adı")}, {}), QByteArray("ad\xC4\xB1\r\n"));
}

TEST(CsvWriter, AFailedWriteIsReportedAndNothingFollowsIt)
{
    QByteArray bytes;
    QBuffer readOnly(&bytes);
    readOnly.open(QIODevice::ReadOnly);
    CsvWriter w(readOnly, false);
    EXPECT_TRUE(w.ok());
    w.header({QStringLiteral("yada")});
    EXPECT_FALSE(w.ok());
    w.row({text(u"1")});
    EXPECT_FALSE(w.ok());
    EXPECT_TRUE(bytes.isEmpty());
}

namespace {

// The workbook as openpyxl reads it: sheet names, the frozen cell, and each
// row's cells as [type, value], read by Debian's Python so the reader is the
// packaged one whatever python3 comes first on PATH. openpyxl leaves the
// sheet's _xHHHH_ escapes (CR is written as _x000D_) to its unescape, as
// spreadsheet programs decode them.
QJsonObject readWorkbook(const QString &path)
{
    static const char *script = R"(
import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
from openpyxl.utils.escape import unescape
rows = [[[c.data_type, unescape(c.value) if c.data_type == "s" else c.value] for c in row] for row in sheet.iter_rows()]
json.dump({"sheets": book.sheetnames, "frozen": sheet.freeze_panes, "rows": rows}, sys.stdout)
)";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    EXPECT_TRUE(python.waitForFinished(-1));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QJsonArray cell(const char *type, const QJsonValue &value)
{
    return QJsonArray{QString::fromLatin1(type), value};
}

} // namespace

class XlsxWriterTest : public TempDirTest {};

TEST_F(XlsxWriterTest, RoundTripKeepsSheetFrozenHeaderTypesAndValues)
{
    const QString file = path(QStringLiteral("out.xlsx"));
    {
        XlsxWriter w(file);
        w.header({QStringLiteral("yada"), u(u"hisyuzolçumu"), QStringLiteral("adi"), QStringLiteral("ealan")});
        w.row({text(u"  300"), Value::number(1250.5), text(u"İsmail Işık "), Value::number(0.1)});
        w.row({text(u"12"), Value(), Value::null(), Value::number(-3)});
        w.row({Value(), Value::null()}); // an empty row between others: theirs keep their places
        w.row({text(u"Çiftçi\tŞÜĞÖ"), text(u"a\nb"), text(u"\"x\",y"), Value::number(1e21)});
        w.close();
        EXPECT_EQ(w.replacedCharacters(), 0);
    }
    const QJsonObject book = readWorkbook(file);
    EXPECT_EQ(book[QStringLiteral("sheets")], QJsonArray{QStringLiteral("ovrekson")});
    EXPECT_EQ(book[QStringLiteral("frozen")], QStringLiteral("A2"));
    const QJsonArray rows = book[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], (QJsonArray{cell("s", QStringLiteral("yada")), cell("s", u(u"hisyuzolçumu")),
                                   cell("s", QStringLiteral("adi")), cell("s", QStringLiteral("ealan"))}));
    EXPECT_EQ(rows[1], (QJsonArray{cell("s", QStringLiteral("  300")), cell("n", 1250.5), cell("s", u(u"İsmail Işık ")),
                                   cell("n", 0.1)}));
    EXPECT_EQ(rows[2], (QJsonArray{cell("s", QStringLiteral("12")), cell("n", QJsonValue::Null),
                                   cell("n", QJsonValue::Null), cell("n", -3)}));
    const QJsonArray none = cell("n", QJsonValue::Null);
    EXPECT_EQ(rows[3], (QJsonArray{none, none, none, none}));
    EXPECT_EQ(rows[4], (QJsonArray{cell("s", u(u"Çiftçi\tŞÜĞÖ")), cell("s", QStringLiteral("a\nb")),
                                   cell("s", QStringLiteral("\"x\",y")), cell("n", 1e21)}));
}

TEST_F(XlsxWriterTest, CharactersASheetCannotHoldBecomeReplacementCharactersAndAreCounted)
{
    const QString file = path(QStringLiteral("controls.xlsx"));
    XlsxWriter w(file);
    w.header({QStringLiteral("adi")});
    w.row({Value::text(u(u"A") + QChar(0x01) + u(u"B") + QChar(0x1F))});
    w.row({Value::text(u(u"ok\tfine\r\n") + QChar(0xFFFF))});
    w.row({Value::text(QString(QChar(0xD800)) + u(u"z"))});
    w.row({text(u"_x0041_ _x00_ _X0041_")});
    EXPECT_EQ(w.replacedCharacters(), 4);
    w.close();
    const QJsonArray rows = readWorkbook(file)[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[1], QJsonArray{cell("s", u(u"A\uFFFDB\uFFFD"))});
    EXPECT_EQ(rows[2], QJsonArray{cell("s", u(u"ok\tfine\r\n\uFFFD"))});
    EXPECT_EQ(rows[3], QJsonArray{cell("s", u(u"\uFFFDz"))});
    EXPECT_EQ(rows[4], QJsonArray{cell("s", u(u"_x0041_ _x00_ _X0041_"))});
}

TEST_F(XlsxWriterTest, ARowPastTheSheetsLastIsRefusedAndTheRestStillWritten)
{
    const QString file = path(QStringLiteral("full.xlsx"));
    XlsxWriter w(file);
    w.header({QStringLiteral("yada")});
    // Rows without values fill the count without anything to write.
    for (qint64 i = 0; i < XlsxWriter::maxRecords; ++i)
        w.row({});
    QString description;
    EXPECT_EQ(errorNumber([&] { w.row({text(u"one too many")}); }, &description), zefto::err::Overflow);
    EXPECT_EQ(description,
              QStringLiteral("A sheet holds at most 1048575 records; the workbook '%1' cannot take more.").arg(file));
    w.close();
    EXPECT_EQ(readWorkbook(file)[QStringLiteral("rows")].toArray(),
              QJsonArray{QJsonArray{cell("s", QStringLiteral("yada"))}});
}

TEST_F(XlsxWriterTest, NothingIsWrittenWithoutCloseAndABadPlaceIsRefusedAtOnce)
{
    {
        XlsxWriter w(path(QStringLiteral("dropped.xlsx")));
        w.header({QStringLiteral("yada")});
        w.row({text(u"1")});
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("dropped.xlsx"))));

    const QString missingFolder = path(QStringLiteral("no/such/out.xlsx"));
    QString description;
    EXPECT_EQ(errorNumber([&] { XlsxWriter w(missingFolder); }, &description), zefto::err::PathAccess);
    EXPECT_EQ(description,
              QStringLiteral("Cannot write '%1': cannot create a file in its folder '%2': No such file or directory.")
                  .arg(missingFolder, path(QStringLiteral("no/such"))));
    EXPECT_EQ(errorNumber([&] { XlsxWriter w(path(QString())); }, &description), zefto::err::PathAccess);
    EXPECT_TRUE(description.endsWith(QStringLiteral(": it is a folder, not a regular file; nothing was written.")));
}

TEST_F(XlsxWriterTest, AFolderGoneBeforeCloseIsAnErrorNotASilentLoss)
{
    QDir(path(QString())).mkdir(QStringLiteral("gone"));
    const QString file = path(QStringLiteral("gone/out.xlsx"));
    XlsxWriter w(file);
    w.header({QStringLiteral("yada")});
    w.row({text(u"1")});
    ASSERT_TRUE(QDir(path(QStringLiteral("gone"))).removeRecursively());
    QString description;
    EXPECT_EQ(errorNumber([&] { w.close(); }, &description), zefto::err::DeviceIo);
    EXPECT_EQ(description, QStringLiteral("Cannot write '%1': renaming the new file into place failed: No such file or "
                                          "directory; the previous file, if any, is untouched.")
                               .arg(file));
}
