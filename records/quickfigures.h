#pragma once

#include "value.h"

#include <QStringView>
#include <optional>

namespace zefto::records {

// The figures of nearly every record in plain integers, so the share check
// does exact arithmetic without fractions. Each gives a value only where it
// is exactly what Fraction reads from the same field; otherwise nothing, and
// the check takes the general way.

// The text without the blanks around it, exactly as QStringView::trimmed()
// cuts them, but the usual ASCII blanks without a call: every field of a
// fixed-width report is padded with them.
inline QStringView quickTrimmed(QStringView s)
{
    const auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    const char16_t *from = s.utf16(), *to = from + s.size();
    while (from != to && blank(*from))
        ++from;
    while (to != from && blank(to[-1]))
        --to;
    // Every other blank Qt knows (no-break space and the like) is beyond ASCII.
    if (from != to && (from[0] >= 0x80 || to[-1] >= 0x80))
        return QStringView(from, to).trimmed();
    return QStringView(from, to);
}

// A figure printed to the cent, in hundredths: a stored double that
// Fraction::fromDouble reads as hundredths, or a decimal text of up to 13
// digits and 2 decimals ("900.00", "450.5", "-3").
std::optional<qint64> cents(const Value &v);

// A text of 1 to 9 digits (blanks around it ignored), as a share's parts are printed.
std::optional<qint64> wholeNumber(const Value &v);

} // namespace zefto::records
