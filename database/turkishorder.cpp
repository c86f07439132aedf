#include "turkishorder.h"

#include <algorithm>
#include <cstring>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace zefto {

TurkishOrder::TurkishOrder()
{
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open("tr", &status);
    if (U_FAILURE(status))
        m_collator = nullptr;
}

const TurkishOrder &TurkishOrder::get()
{
    static const TurkishOrder order;
    return order;
}

int TurkishOrder::compare(const char16_t *a, int na, const char16_t *b, int nb) const
{
    if (m_collator) {
        const UCollationResult r = ucol_strcoll(m_collator, a, na, b, nb);
        if (r != UCOL_EQUAL)
            return r == UCOL_LESS ? -1 : 1;
    }
    // Code point order, as the server's byte order of UTF-8 gives it.
    return u_strCompare(a, na, b, nb, true);
}

int TurkishOrder::compareUtf8(const char *a, int na, const char *b, int nb) const
{
    if (m_collator) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult r = ucol_strcollUTF8(m_collator, a, na, b, nb, &status);
        if (U_SUCCESS(status) && r != UCOL_EQUAL)
            return r == UCOL_LESS ? -1 : 1;
    }
    const int common = std::memcmp(a, b, size_t(std::min(na, nb)));
    return common != 0 ? common : na - nb;
}

int TurkishOrder::compare(const QString &a, const QString &b) const
{
    return compare(reinterpret_cast<const char16_t *>(a.utf16()), int(a.size()),
                   reinterpret_cast<const char16_t *>(b.utf16()), int(b.size()));
}

} // namespace zefto
