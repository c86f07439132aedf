#pragma once

#include <QString>

struct UCollator;

namespace zefto {

// Texts in Turkish alphabetical order as a clerk reads them (c < ç < d,
// g < ğ < h, ı < i, o < ö < p, s < ş < t, u < ü < v), case and letter marks
// counting only between texts otherwise alike: ICU's Turkish collation, the
// one a PostgreSQL server offers as serverCollation. Texts it finds equal
// are ordered by their code points, as the server orders them, so both
// backends give one total order.
class TurkishOrder {
public:
    // The collation's name on a PostgreSQL server built with ICU.
    static constexpr auto serverCollation = "tr-x-icu";

    // The one collator of the process (ICU's collators compare from any thread).
    static const TurkishOrder &get();

    // Below, equal or above 0 as a sorts before, with or after b.
    int compare(const char16_t *a, int na, const char16_t *b, int nb) const;
    int compareUtf8(const char *a, int na, const char *b, int nb) const;
    int compare(const QString &a, const QString &b) const;

private:
    TurkishOrder();
    UCollator *m_collator = nullptr; // none when ICU has no Turkish data: then code point order alone
};

} // namespace zefto
