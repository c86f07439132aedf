#include "quickfigures.h"

#include <cmath>

namespace zefto::records {
namespace {

bool isDigit(char16_t c)
{
    return char16_t(c - u'0') <= 9;
}

} // namespace

std::optional<qint64> cents(const Value &v)
{
    if (v.isDouble()) {
        // Fraction::fromDouble's own first step: the only two-place decimal that reads as d.
        const double d = v.asDouble();
        if (!(std::abs(d) < 1e13))
            return std::nullopt;
        const double hundredths = std::nearbyint(d * 100);
        return hundredths / 100 == d ? std::optional(qint64(hundredths)) : std::nullopt;
    }
    if (!v.isText())
        return std::nullopt;
    const QStringView t = quickTrimmed(v.asText());
    const char16_t *c = t.utf16(), *const end = c + t.size();
    const bool negative = c != end && *c == u'-';
    c += negative;
    // Unsigned, so a figure of many digits wraps harmlessly before it is refused below.
    quint64 whole = 0, part = 0;
    const char16_t *const wholeFrom = c;
    for (; c != end && isDigit(*c); ++c)
        whole = whole * 10 + (*c - u'0');
    const qsizetype wholeDigits = c - wholeFrom;
    qsizetype partDigits = 0;
    if (c != end && *c == u'.') {
        const char16_t *const partFrom = ++c;
        for (; c != end && isDigit(*c); ++c)
            part = part * 10 + (*c - u'0');
        partDigits = c - partFrom;
    }
    if (c != end || wholeDigits > 13 || partDigits > 2 || wholeDigits + partDigits == 0)
        return std::nullopt;
    const qint64 hundredths = qint64(whole * 100 + (partDigits == 1 ? part * 10 : part));
    return negative ? -hundredths : hundredths;
}

std::optional<qint64> wholeNumber(const Value &v)
{
    if (!v.isText())
        return std::nullopt;
    const QStringView t = quickTrimmed(v.asText());
    if (t.isEmpty() || t.size() > 9)
        return std::nullopt;
    qint64 n = 0;
    for (const char16_t *c = t.utf16(), *const end = c + t.size(); c != end; ++c) {
        if (!isDigit(*c))
            return std::nullopt;
        n = n * 10 + (*c - u'0');
    }
    return n;
}

} // namespace zefto::records
