#pragma once

#include "value.h"

#include <QStringView>
#include <cstring>
#include <optional>

namespace zefto::records {

// The figures of nearly every record in plain integers, so the share check
// does exact arithmetic without fractions. Each gives a value only where it
// is exactly what Fraction reads from the same field; otherwise nothing, and
// the check takes the general way.

// The text without the blanks around it, exactly as QStringView::trimmed()
// cuts them, but the spaces that pad every field of a fixed-width report
// without a call.
inline QStringView quickTrimmed(QStringView s)
{
    const char16_t *from = s.utf16(), *to = from + s.size();
    while (from != to && *from == u' ')
        ++from;
    while (to != from && to[-1] == u' ')
        --to;
    // Any other blank Qt knows is a control character or beyond ASCII: Qt tells.
    const auto maybeBlank = [](char16_t c) { return c < u' ' || c >= 0x80; };
    if (from != to && (maybeBlank(from[0]) || maybeBlank(to[-1])))
        return QStringView(from, to).trimmed();
    return QStringView(from, to);
}

// Whether n characters at a and at b are the same, four at a time: fields are
// a few characters, where a call to memcmp costs more than the comparing.
inline bool sameChars(const char16_t *a, const char16_t *b, qsizetype n)
{
    for (; n >= 4; a += 4, b += 4, n -= 4) {
        quint64 x, y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        if (x != y)
            return false;
    }
    for (; n > 0; --n)
        if (*a++ != *b++)
            return false;
    return true;
}

// Copies n characters, four at a time, for the same reason.
inline void copyChars(char16_t *to, const char16_t *from, qsizetype n)
{
    for (; n >= 4; to += 4, from += 4, n -= 4)
        std::memcpy(to, from, 8);
    for (; n > 0; --n)
        *to++ = *from++;
}

// A figure printed to the cent, in hundredths: a stored double that
// Fraction::fromDouble reads as hundredths, or a decimal text of up to 13
// digits and 2 decimals ("900.00", "450.5", "-3").
std::optional<qint64> cents(const Value &v);

// A text of 1 to 9 digits (blanks around it ignored), as a share's parts are printed.
std::optional<qint64> wholeNumber(const Value &v);

} // namespace zefto::records
