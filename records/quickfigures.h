#pragma once

#include "value.h"

#include <optional>

namespace zefto::records {

// The figures of nearly every record in plain integers, so the share check
// does exact arithmetic without fractions. Each gives a value only where it
// is exactly what Fraction reads from the same field; otherwise nothing, and
// the check takes the general way.

// A figure printed to the cent, in hundredths: a stored double that
// Fraction::fromDouble reads as hundredths, or a decimal text of up to 13
// digits and 2 decimals ("900.00", "450.5", "-3").
std::optional<qint64> cents(const Value &v);

// A text of 1 to 9 digits (blanks around it ignored), as a share's parts are printed.
std::optional<qint64> wholeNumber(const Value &v);

} // namespace zefto::records
