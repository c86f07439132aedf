#include "fraction.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <system_error>

namespace zefto::records {
namespace {

using Int = Fraction::Int;

Int magnitude(Int v)
{
    return v < 0 ? -v : v;
}

Int gcd(Int a, Int b)
{
    a = magnitude(a);
    b = magnitude(b);
    // Most figures fit in 64 bits, where division is a single instruction.
    constexpr Int small = std::numeric_limits<quint64>::max();
    if (a <= small && b <= small)
        return Int(std::gcd(quint64(a), quint64(b)));
    while (b != 0) {
        const Int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

bool mul(Int a, Int b, Int &out)
{
    return !__builtin_mul_overflow(a, b, &out);
}
bool add(Int a, Int b, Int &out)
{
    return !__builtin_add_overflow(a, b, &out);
}

// The 128-bit minimum has no positive counterpart: keep clear of it.
bool tame(Int v)
{
    return v != -v || v == 0;
}

QString integerText(Int v)
{
    const bool negative = v < 0;
    unsigned __int128 u = negative ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(v)
                                   : static_cast<unsigned __int128>(v);
    QString digits;
    do {
        digits.prepend(QChar(u'0' + int(u % 10)));
        u /= 10;
    } while (u != 0);
    return negative ? u'-' + digits : digits;
}

} // namespace

Fraction::Fraction(Int numerator, Int denominator) : m_num(numerator), m_den(denominator)
{
    Q_ASSERT(denominator != 0);
    if (!tame(m_num) || !tame(m_den)) {
        *this = overflowed();
        return;
    }
    if (m_den < 0) {
        m_num = -m_num;
        m_den = -m_den;
    }
    if (const Int g = gcd(m_num, m_den); g > 1) {
        m_num /= g;
        m_den /= g;
    }
}

Fraction Fraction::overflowed()
{
    Fraction f;
    f.m_overflow = true;
    return f;
}

namespace {

int code(QChar c)
{
    return c.unicode();
}
int code(char c)
{
    return static_cast<unsigned char>(c);
}

// Reads [-]digits[.digits], nothing around it; for QChar and char alike.
template <typename Char> std::optional<Fraction> parseDecimal(const Char *c, const Char *end)
{
    const bool negative = c != end && code(*c) == '-';
    if (negative)
        ++c;
    Int num = 0, den = 1;
    bool digits = false, point = false;
    for (; c != end; ++c) {
        const int ch = code(*c);
        if (ch == '.' && !point) {
            point = true;
            continue;
        }
        if (ch < '0' || ch > '9')
            return std::nullopt;
        digits = true;
        if (!mul(num, 10, num) || !add(num, ch - '0', num) || (point && !mul(den, 10, den)))
            return std::nullopt;
    }
    if (!digits)
        return std::nullopt;
    return Fraction(negative ? -num : num, den);
}

} // namespace

std::optional<Fraction> Fraction::fromDecimal(const QString &text)
{
    const QStringView t = QStringView(text).trimmed();
    return parseDecimal(t.begin(), t.end());
}

std::optional<Fraction> Fraction::fromDouble(double d)
{
    if (!std::isfinite(d))
        return std::nullopt;
    // Figures printed to the cent: the only decimal of two places that reads as d is hundredths/100.
    if (std::abs(d) < 1e13) {
        const double hundredths = std::nearbyint(d * 100);
        if (hundredths / 100 == d)
            return Fraction(Int(hundredths), 100);
    }
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (ec != std::errc())
        return std::nullopt;
    return parseDecimal<char>(buf, end);
}

Fraction Fraction::operator+(const Fraction &o) const
{
    if (m_overflow || o.m_overflow)
        return overflowed();
    const Int g = gcd(m_den, o.m_den);
    Int left, right, sum, den;
    if (!mul(m_num, o.m_den / g, left) || !mul(o.m_num, m_den / g, right) || !add(left, right, sum)
        || !mul(m_den / g, o.m_den, den))
        return overflowed();
    return Fraction(sum, den);
}

Fraction Fraction::operator-(const Fraction &o) const
{
    Fraction negated = o;
    negated.m_num = -o.m_num;
    return *this + negated;
}

Fraction Fraction::operator*(const Fraction &o) const
{
    if (m_overflow || o.m_overflow)
        return overflowed();
    // Cross-reducing first keeps products small when they can be; denominators are
    // positive, so neither divisor is 0.
    const Int g1 = gcd(m_num, o.m_den), g2 = gcd(o.m_num, m_den);
    Q_ASSERT(g1 > 0 && g2 > 0);
    Int num, den;
    if (!mul(m_num / g1, o.m_num / g2, num) || !mul(m_den / g2, o.m_den / g1, den))
        return overflowed();
    return Fraction(num, den);
}

bool Fraction::operator==(const Fraction &o) const
{
    return !m_overflow && !o.m_overflow && m_num == o.m_num && m_den == o.m_den;
}

std::optional<bool> Fraction::within(const Fraction &o, const Fraction &tolerance) const
{
    const Fraction diff = *this - o;
    if (diff.m_overflow || tolerance.m_overflow)
        return std::nullopt;
    Int lhs, rhs;
    if (!mul(magnitude(diff.m_num), tolerance.m_den, lhs) || !mul(tolerance.m_num, diff.m_den, rhs))
        return std::nullopt;
    return lhs <= rhs;
}

QString Fraction::text() const
{
    if (m_overflow)
        return QStringLiteral("(too large)");
    return m_den == 1 ? integerText(m_num) : integerText(m_num) + u'/' + integerText(m_den);
}

QString Fraction::decimalText(int places) const
{
    if (m_overflow)
        return QStringLiteral("(too large)");
    Int scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    // More places only while they make the figure exact, up to six.
    for (int p = places; p < 6; ++p) {
        Int scaled;
        if (mul(m_num, scale, scaled) && scaled % m_den == 0)
            break;
        scale *= 10;
        ++places;
    }
    Int scaled;
    if (!mul(m_num, scale, scaled))
        return text();
    // Round half away from zero.
    Int q = scaled / m_den;
    if (magnitude(scaled % m_den) * 2 >= m_den)
        q += scaled < 0 ? -1 : 1;
    const bool negative = q < 0;
    QString digits = integerText(magnitude(q)).rightJustified(places + 1, u'0');
    digits.insert(digits.size() - places, u'.');
    return negative ? u'-' + digits : digits;
}

} // namespace zefto::records
