#include "val.h"

#include "error.h"

#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>

namespace zefto {
namespace {

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The text's characters with blanks, tabs and line feeds skipped, one at a
// time; U+0000 past the end. Walks the characters themselves: Val reads every
// numeric column of every record.
class Cursor {
public:
    explicit Cursor(QStringView t) : m_pos(t.utf16()), m_end(m_pos + t.size()) { skip(); }
    char16_t peek() const { return m_pos < m_end ? *m_pos : u'\0'; }
    char16_t take()
    {
        const char16_t c = peek();
        if (m_pos < m_end)
            ++m_pos;
        skip();
        return c;
    }
    bool takeIf(std::initializer_list<char16_t> any)
    {
        for (char16_t c : any)
            if (peek() == c) {
                take();
                return true;
            }
        return false;
    }
    // Appends the run of decimal digits here to `out`; true when there was one.
    bool takeDigits(std::string &out)
    {
        bool any = false;
        for (; isDigit(peek()); any = true)
            out += char(take());
        return any;
    }

private:
    void skip()
    {
        while (m_pos < m_end && (*m_pos == u' ' || *m_pos == u'\t' || *m_pos == u'\n'))
            ++m_pos;
    }
    const char16_t *m_pos;
    const char16_t *m_end;
};

int digitValue(char16_t c, int radix)
{
    int d = -1;
    if (isDigit(c))
        d = c - u'0';
    else if (const QChar upper = QChar(c).toUpper(); upper >= u'A' && upper <= u'F')
        d = upper.unicode() - u'A' + 10;
    return d < radix ? d : -1;
}

// &H and &O: the digits form a 16-bit value when they fit in 16 bits and a
// 32-bit one otherwise, both read as signed (so &HFFFF is -1).
double radixValue(Cursor &in, int radix)
{
    quint64 v = 0;
    for (int d; (d = digitValue(in.peek(), radix)) >= 0; in.take()) {
        v = v * radix + d;
        if (v > 0xFFFFFFFFull)
            throw Error::of(err::Overflow);
    }
    if (v <= 0xFFFF)
        return static_cast<qint16>(static_cast<quint16>(v));
    return static_cast<qint32>(static_cast<quint32>(v));
}

// Sign, digits, "." and digits, then an exponent when it has digits: as ASCII.
std::string decimalText(Cursor &in)
{
    std::string s;
    if (in.peek() == u'+' || in.peek() == u'-') {
        if (in.take() == u'-')
            s += '-';
    }
    bool digits = in.takeDigits(s);
    if (in.takeIf({u'.'})) {
        s += '.';
        digits |= in.takeDigits(s);
    }
    if (!digits)
        return {};
    if (in.takeIf({u'E', u'e', u'D', u'd'})) {
        std::string exp = "e";
        if (in.peek() == u'+' || in.peek() == u'-')
            exp += char(in.take());
        if (in.takeDigits(exp))
            s += exp;
    }
    return s;
}

double toDouble(const std::string &s)
{
    double result = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), result);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; only a number too large to hold overflows.
        if (s.find("e-") != std::string::npos)
            return 0;
        throw Error::of(err::Overflow);
    }
    if (ec != std::errc() || !std::isfinite(result))
        throw Error::of(err::Overflow);
    return result;
}

// The usual area and figure column: blanks, a sign, digits and one decimal
// point, no more than 15 digits after the leading zeros and 22 after the
// point, nothing else. Those digits over a power of ten are two exact doubles
// whose quotient rounds once: the double from_chars makes of the same text.
std::optional<double> plainDecimal(QStringView t)
{
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char16_t *p = t.utf16();
    const char16_t *const end = p + t.size();
    bool negative = false, sign = false, point = false, digits = false;
    quint64 mantissa = 0;
    int significant = 0, decimals = 0;
    for (; p < end; ++p) {
        const char16_t c = *p;
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if (isDigit(c)) {
            digits = true;
            decimals += point;
            if (mantissa == 0 && c == u'0')
                continue; // a leading zero
            if (++significant > 15)
                return std::nullopt;
            mantissa = mantissa * 10 + (c - u'0');
        } else if (c == u'.' && !point) {
            point = true;
        } else if ((c == u'-' || c == u'+') && !sign && !digits && !point) {
            sign = true;
            negative = c == u'-';
        } else {
            return std::nullopt;
        }
    }
    if (!digits || decimals >= int(std::size(powersOfTen)))
        return std::nullopt;
    const double d = double(mantissa) / powersOfTen[decimals];
    return negative ? -d : d;
}

} // namespace

double val(QStringView t)
{
    if (const std::optional<double> d = plainDecimal(t))
        return *d;
    Cursor in(t);
    if (in.takeIf({u'&'})) {
        if (in.takeIf({u'H', u'h'}))
            return radixValue(in, 16);
        if (in.takeIf({u'O', u'o'}))
            return radixValue(in, 8);
        return 0;
    }
    const std::string s = decimalText(in);
    return s.empty() ? 0 : toDouble(s);
}

} // namespace zefto
