#include "val.h"

#include "error.h"

#include <charconv>
#include <cmath>
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
    explicit Cursor(const QString &t)
        : m_pos(reinterpret_cast<const char16_t *>(t.constData())), m_end(m_pos + t.size())
    {
        skip();
    }
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

} // namespace

double val(const QString &t)
{
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
