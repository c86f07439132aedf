#include "val.h"

#include "error.h"

#include <charconv>
#include <cmath>
#include <string>

namespace zefto {
namespace {

bool skipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// &H and &O: the digits form a 16-bit value when they fit in 16 bits and a
// 32-bit one otherwise, both read as signed (so &HFFFF is -1).
double radixValue(const QString &t, qsizetype i, int radix)
{
    quint64 v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (skipped(c))
            continue;
        int d = -1;
        if (isDigit(c))
            d = c.unicode() - u'0';
        else if (radix == 16 && c.toUpper() >= u'A' && c.toUpper() <= u'F')
            d = c.toUpper().unicode() - u'A' + 10;
        if (d < 0 || d >= radix)
            break;
        v = v * radix + d;
        if (v > 0xFFFFFFFFull)
            throw Error::of(err::Overflow);
    }
    if (v <= 0xFFFF)
        return static_cast<qint16>(static_cast<quint16>(v));
    return static_cast<qint32>(static_cast<quint32>(v));
}

} // namespace

double val(const QString &t)
{
    qsizetype i = 0;
    while (i < t.size() && skipped(t[i]))
        ++i;
    if (i + 1 < t.size() && t[i] == u'&') {
        qsizetype j = i + 1;
        const QChar r = t[j].toUpper();
        if (r == u'H')
            return radixValue(t, j + 1, 16);
        if (r == u'O')
            return radixValue(t, j + 1, 8);
        return 0;
    }

    // Gather the number's characters, blanks removed, into plain ASCII.
    std::string s;
    auto next = [&]() -> QChar {
        while (i < t.size() && skipped(t[i]))
            ++i;
        return i < t.size() ? t[i] : QChar();
    };
    QChar c = next();
    if (c == u'+' || c == u'-') {
        if (c == u'-')
            s += '-';
        ++i;
        c = next();
    }
    bool digits = false;
    while (isDigit(c)) {
        s += char(c.unicode());
        digits = true;
        ++i;
        c = next();
    }
    if (c == u'.') {
        s += '.';
        ++i;
        c = next();
        while (isDigit(c)) {
            s += char(c.unicode());
            digits = true;
            ++i;
            c = next();
        }
    }
    if (!digits)
        return 0;
    if (c == u'E' || c == u'e' || c == u'D' || c == u'd') {
        std::string exp = "e";
        ++i;
        c = next();
        if (c == u'+' || c == u'-') {
            exp += char(c.unicode());
            ++i;
            c = next();
        }
        bool expDigits = false;
        while (isDigit(c)) {
            exp += char(c.unicode());
            expDigits = true;
            ++i;
            c = next();
        }
        if (expDigits)
            s += exp;
    }
    double result = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), result);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; only a number too large to hold overflows.
        const bool tiny = s.find("e-") != std::string::npos;
        if (tiny)
            return 0;
        throw Error::of(err::Overflow);
    }
    if (ec != std::errc() || !std::isfinite(result))
        throw Error::of(err::Overflow);
    return result;
}

} // namespace zefto
