#include "numbers.h"

#include "error.h"
#include "val.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

namespace zefto {

QString numberText(double d)
{
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

QString valText(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return v.asText();
    case Value::Kind::Double: return numberText(v.asDouble());
    case Value::Kind::Unset: return QStringLiteral("");
    case Value::Kind::Null: break;
    }
    throw Error::of(err::InvalidUseOfNull);
}

double valOf(const Value &v)
{
    // The shortest text of a normal number reads back as that number; zero
    // (whose sign the text may drop), subnormals, infinities and NaN go the long way.
    if (v.isDouble() && std::isnormal(v.asDouble()))
        return v.asDouble();
    return val(valText(v));
}

namespace {

// The whole text as a decimal number: sign, digits, ".", digits, exponent.
bool parseNumber(const QString &t, double &out)
{
    qsizetype b = 0, e = t.size();
    while (b < e && t[b] == u' ')
        ++b;
    while (e > b && t[e - 1] == u' ')
        --e;
    std::string s;
    s.reserve(size_t(e - b));
    for (qsizetype i = b; i < e; ++i) {
        const char16_t c = t[i].unicode();
        if (c >= 0x80)
            return false;
        s += char(c);
    }
    if (!s.empty() && s[0] == '+')
        s.erase(0, 1);
    if (s.empty() || s[0] == '+')
        return false;
    // from_chars would take "inf" and "nan"; only digits, ".", E and signs may appear.
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))
            return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

bool countsAsOne(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Unset: return false;
    case Value::Kind::Null: return false;
    case Value::Kind::Double: return v.asDouble() == 1;
    case Value::Kind::Text: break;
    }
    double d = 0;
    if (!parseNumber(v.asText(), d))
        throw Error(err::TypeMismatch,
                    QStringLiteral("Type mismatch: the share numerator '%1' is not a number").arg(v.asText()));
    return d == 1;
}

} // namespace zefto
