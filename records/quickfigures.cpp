#include "quickfigures.h"

#include <cmath>

namespace zefto::records {

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
    qsizetype i = 0;
    const bool negative = i < t.size() && t[i] == u'-';
    i += negative;
    qint64 whole = 0, part = 0;
    int wholeDigits = 0, partDigits = 0;
    for (; i < t.size() && t[i].unicode() >= '0' && t[i].unicode() <= '9'; ++i, ++wholeDigits)
        whole = whole * 10 + (t[i].unicode() - '0');
    if (i < t.size() && t[i] == u'.')
        for (++i; i < t.size() && t[i].unicode() >= '0' && t[i].unicode() <= '9'; ++i, ++partDigits)
            part = part * 10 + (t[i].unicode() - '0');
    if (i != t.size() || wholeDigits > 13 || partDigits > 2 || wholeDigits + partDigits == 0)
        return std::nullopt;
    const qint64 hundredths = whole * 100 + (partDigits == 1 ? part * 10 : part);
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
    for (const QChar c : t) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    return n;
}

} // namespace zefto::records
