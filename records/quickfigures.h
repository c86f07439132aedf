#pragma once

#include "textcopy.h"
#include "value.h"

#include <QStringView>
#include <array>
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

namespace quick {
inline quint64 fourChars(const char16_t *at)
{
    quint64 x;
    std::memcpy(&x, at, sizeof x);
    return x;
}
} // namespace quick

// Whether n characters at a and at b are the same, four at a time (the last
// four overlapping those before): fields are a few characters, where a call to
// memcmp costs more than the comparing.
inline bool sameChars(const char16_t *a, const char16_t *b, qsizetype n)
{
    if (n < 4) {
        for (; n > 0; --n)
            if (*a++ != *b++)
                return false;
        return true;
    }
    for (qsizetype i = 0; i < n - 4; i += 4)
        if (quick::fourChars(a + i) != quick::fourChars(b + i))
            return false;
    return quick::fourChars(a + n - 4) == quick::fourChars(b + n - 4);
}

// A figure printed to the cent, in hundredths: a stored double that
// Fraction::fromDouble reads as hundredths, or a decimal text of up to 13
// digits and 2 decimals ("900.00", "450.5", "-3").
std::optional<qint64> cents(const Value &v);

// A text of 1 to 9 digits (blanks around it ignored), as a share's parts are printed.
std::optional<qint64> wholeNumber(const Value &v);

// One field's figure read again only when its text changes: a parcel's records
// print its area and their shares' denominator alike, one after another.
template <std::optional<qint64> (*read)(const Value &)> class LastFigure {
public:
    std::optional<qint64> operator()(const Value &v)
    {
        const QStringView text = v.isText() ? QStringView(v.asText()) : QStringView();
        if (!v.isText() || text.size() > qsizetype(m_text.size()))
            return read(v);
        if (text.size() != m_size || !sameChars(text.utf16(), m_text.data(), m_size)) {
            m_value = read(v);
            m_size = text.size();
            copyChars(m_text.data(), text);
        }
        return m_value;
    }

private:
    std::array<char16_t, 24> m_text; // longer texts are read every time
    qsizetype m_size = -1;           // nothing kept yet
    std::optional<qint64> m_value;
};

} // namespace zefto::records
