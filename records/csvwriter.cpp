#include "csvwriter.h"

#include "utf8.h"

#include <QLocale>
#include <QStringEncoder>
#include <charconv>
#include <cmath>
#include <cstring>

namespace zefto::records {
namespace {

struct FieldScan {
    bool quoted = false;     // holds a comma, a quote, CR or LF
    bool surrogates = false; // holds a surrogate, paired or not
};

FieldScan scan(QStringView field)
{
    // Without branches, so the loop runs through a field in a few instructions a character.
    constexpr quint64 special = 1ULL << ',' | 1ULL << '"' | 1ULL << '\r' | 1ULL << '\n';
    bool quoted = false, surrogates = false;
    for (const QChar q : field) {
        const char16_t c = q.unicode();
        quoted |= c < 64 && (special >> c & 1) != 0;
        surrogates |= (c & 0xF800) == 0xD800;
    }
    return {quoted, surrogates};
}

// Writes the UTF-8 of `text` at `to`. Text with surrogates goes through Qt's
// encoder, as it always did: a lone one is written as U+FFFD, one at the end
// of `text` is dropped.
char *writeText(char *to, QStringView text, bool surrogates)
{
    if (!surrogates)
        return writeUtf8(to, text);
    QStringEncoder utf8(QStringEncoder::Utf8);
    return utf8.appendToBuffer(to, text);
}

// Writes `field` at `to`, `prefix` (an apostrophe or nothing) before it, quoted when it must be.
char *writeField(char *to, QStringView prefix, QStringView field)
{
    const FieldScan s = scan(field);
    if (!s.quoted) {
        to = writeUtf8(to, prefix);
        return writeText(to, field, s.surrogates);
    }
    *to++ = '"';
    to = writeUtf8(to, prefix);
    for (qsizetype from = 0;;) {
        const qsizetype quote = field.indexOf(u'"', from);
        to = writeText(to, field.mid(from, quote < 0 ? field.size() - from : quote + 1 - from), s.surrogates);
        if (quote < 0)
            break;
        *to++ = '"';
        from = quote + 1;
    }
    *to++ = '"';
    return to;
}

// The most bytes writeField takes for `field`: three a unit (a doubled quote takes two), its quotes and a prefix.
qsizetype fieldRoom(QStringView field)
{
    return field.size() * 3 + 3;
}

bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text[0];
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

char *writeValue(char *to, const Value &v, bool forSpreadsheet)
{
    if (v.isText()) {
        const bool formula = forSpreadsheet && looksLikeFormula(v.asText());
        return writeField(to, formula ? QStringView(u"'") : QStringView(), v.asText());
    }
    if (v.isDouble())
        return writeNumber(to, v.asDouble());
    return to;
}

// `digits` and the power of ten of the first as the shorter of the decimal
// and the scientific forms, the decimal one on a tie; the exponent with at
// least two digits.
char *placePoint(char *to, const char *digits, int n, int exponent)
{
    const int decimalSize = exponent < 0 ? 1 - exponent + n : std::max(n, exponent + 1) + (n > exponent + 1 ? 1 : 0);
    const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
    const int scientificSize = n + (n > 1 ? 1 : 0) + 2 + exponentDigits;
    if (decimalSize <= scientificSize) {
        if (exponent < 0) {
            *to++ = '0';
            *to++ = '.';
            to = std::fill_n(to, -exponent - 1, '0');
            return std::copy_n(digits, n, to);
        }
        if (n <= exponent + 1)
            return std::fill_n(std::copy_n(digits, n, to), exponent + 1 - n, '0');
        to = std::copy_n(digits, exponent + 1, to);
        *to++ = '.';
        return std::copy_n(digits + exponent + 1, n - exponent - 1, to);
    }
    *to++ = digits[0];
    if (n > 1) {
        *to++ = '.';
        to = std::copy_n(digits + 1, n - 1, to);
    }
    *to++ = 'e';
    *to++ = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    if (exponentDigits == 3)
        *to++ = char('0' + e / 100);
    *to++ = char('0' + e / 10 % 10);
    *to++ = char('0' + e % 10);
    return to;
}

// Writes a line of `n` fields into `line`: `room(i)` is the most bytes field
// `i` takes, `put(to, i)` writes it and returns its end. One pass through a
// pointer, the line's memory kept for the next.
template <class Room, class Put> void writeLine(QByteArray &line, size_t n, Room room, Put put)
{
    qsizetype most = 2;
    for (size_t i = 0; i < n; ++i)
        most += 1 + room(i);
    line.resize(most);
    char *const start = line.data();
    char *to = start;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0)
            *to++ = ',';
        to = put(to, i);
    }
    *to++ = '\r';
    *to++ = '\n';
    Q_ASSERT(to - start <= most);
    line.resize(to - start);
}

} // namespace

char *writeNumber(char *to, double d)
{
    // number() drops the sign of zero, which reads back as another double.
    if (d == 0 && std::signbit(d)) {
        std::memcpy(to, "-0", 2);
        return to + 2;
    }
    if (!std::isfinite(d)) { // never in a record written by us: Qt's words for them, as before
        const QByteArray qt = QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
        std::memcpy(to, qt.constData(), size_t(qt.size()));
        return to + qt.size();
    }
    if (d < 0) {
        *to++ = '-';
        d = -d;
    }
    // An area has a few decimals: d = m / 10^k with m an integer of at most
    // 15 digits, which no other decimal of as few digits reads back to
    // (DBL_DIG), so m's digits are the shortest, found without to_chars.
    static constexpr double tens[] = {1, 10, 100, 1000, 10000};
    for (int k = 0; k < 5; ++k) {
        const double m = std::nearbyint(d * tens[k]);
        if (m >= 1e15)
            break;
        if (m / tens[k] == d) {
            char digits[20];
            int n = int(std::to_chars(digits, digits + sizeof digits, qint64(m)).ptr - digits);
            const int exponent = n - 1 - k;
            while (n > 1 && digits[n - 1] == '0')
                --n;
            return placePoint(to, digits, n, exponent);
        }
    }
    // Any other: the shortest digits that read back to `d` (as
    // QByteArray::number finds them, without its allocation), laid out as it lays them out.
    char sci[csvNumberRoom];
    const char *const end = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific).ptr;
    const char *at = sci;
    char digits[20];
    int n = 0;
    for (; *at != 'e'; ++at)
        if (*at != '.')
            digits[n++] = *at;
    int exponent = 0;
    std::from_chars(at + (at[1] == '+' ? 2 : 1), end, exponent);
    return placePoint(to, digits, n, exponent);
}

QByteArray csvNumberBytes(double d)
{
    char bytes[csvNumberRoom];
    return QByteArray(bytes, writeNumber(bytes, d) - bytes);
}

QString csvNumber(double d)
{
    char bytes[csvNumberRoom];
    return QString::fromLatin1(bytes, writeNumber(bytes, d) - bytes);
}

CsvWriter::CsvWriter(QIODevice &out, bool forSpreadsheet) : m_out(out), m_forSpreadsheet(forSpreadsheet)
{
    if (forSpreadsheet)
        write(QByteArrayLiteral("\xEF\xBB\xBF"));
}

void CsvWriter::header(const QStringList &fields)
{
    writeLine(
        m_line, size_t(fields.size()), [&](size_t i) { return fieldRoom(fields[qsizetype(i)]); },
        [&](char *to, size_t i) { return writeField(to, QStringView(), fields[qsizetype(i)]); });
    write(m_line);
}

void CsvWriter::row(const std::vector<Value> &values)
{
    writeLine(
        m_line, values.size(),
        [&](size_t i) { return values[i].isText() ? fieldRoom(values[i].asText()) : csvNumberRoom; },
        [&](char *to, size_t i) { return writeValue(to, values[i], m_forSpreadsheet); });
    write(m_line);
}

void CsvWriter::write(const QByteArray &bytes)
{
    // After one failure nothing more is written, so the output never has a hole in its middle.
    if (m_ok && m_out.write(bytes) != bytes.size())
        m_ok = false;
}

} // namespace zefto::records
