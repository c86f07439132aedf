#include "turkishcollation.h"

#include "turkishorder.h"

namespace zefto::sqlite {
namespace {

// SQLite hands over lengths in bytes.
int compare16(void *, int na, const void *a, int nb, const void *b)
{
    return TurkishOrder::get().compare(static_cast<const char16_t *>(a), na / 2, static_cast<const char16_t *>(b),
                                       nb / 2);
}

int compare8(void *, int na, const void *a, int nb, const void *b)
{
    return TurkishOrder::get().compareUtf8(static_cast<const char *>(a), na, static_cast<const char *>(b), nb);
}

} // namespace

int addTurkishCollation(sqlite3 *db)
{
    // The file's own encoding is compared without conversion.
    const int rc = sqlite3_create_collation_v2(db, turkishCollation, SQLITE_UTF16_ALIGNED, nullptr,
                                               compare16, nullptr);
    return rc != SQLITE_OK ? rc : sqlite3_create_collation_v2(db, turkishCollation, SQLITE_UTF8, nullptr, compare8, nullptr);
}

} // namespace zefto::sqlite
