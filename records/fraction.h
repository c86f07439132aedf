#pragma once

#include <QString>
#include <optional>

namespace zefto::records {

// An exact rational number for adding up shares and areas: numerator and
// denominator in 128 bits, always reduced, denominator positive. A result
// that would not fit is not a number but "overflowed", and stays so through
// every later step, so a sum is either exact or known not to be.
class Fraction {
public:
    using Int = __int128;

    Fraction() = default;                     // 0
    Fraction(Int numerator, Int denominator); // denominator non-zero
    static Fraction overflowed();

    // A decimal as printed, blanks around it ignored: digits, optionally "."
    // and more digits, optionally a leading "-" (figures, not shares, may be
    // negative). Nothing for anything else or for more digits than fit.
    static std::optional<Fraction> fromDecimal(const QString &text);
    // A stored double read back as the shortest decimal that gives it, so
    // 1250.5 is 12505/10 exactly; nothing for infinities and NaN.
    static std::optional<Fraction> fromDouble(double d);

    bool isOverflowed() const { return m_overflow; }
    Int numerator() const { return m_num; }
    Int denominator() const { return m_den; }

    Fraction operator+(const Fraction &o) const;
    Fraction operator-(const Fraction &o) const;
    Fraction operator*(const Fraction &o) const;
    Fraction &operator+=(const Fraction &o) { return *this = *this + o; }
    bool operator==(const Fraction &o) const;
    // Whether |this - o| <= tolerance; nothing when that cannot be told exactly.
    std::optional<bool> within(const Fraction &o, const Fraction &tolerance) const;

    // "5/6", "1", "-3/4".
    QString text() const;
    // As a decimal with at least `places` decimals: exact when the fraction is
    // a decimal of up to six places, else rounded there ("812.40").
    QString decimalText(int places = 2) const;

private:
    Int m_num = 0;
    Int m_den = 1;
    bool m_overflow = false;
};

} // namespace zefto::records
