#include "matchfunction.h"

#include "filter.h"
#include "utf8text.h"

#include <memory>
#include <vector>

namespace zefto::sqlite {
namespace {

QStringView text16(sqlite3_value *v)
{
    const auto *units = static_cast<const char16_t *>(sqlite3_value_text16(v));
    return units ? QStringView(units, sqlite3_value_bytes16(v) / 2) : QStringView();
}

// The folded needle, and room to read a field of a UTF-8 file into: kept beside argument 0 for the statement's life.
struct Search {
    FoldedNeedle needle;
    std::vector<char16_t> units;

    // A field of a UTF-8 file read by us, not converted by SQLite for every field of every record.
    QStringView utf8(sqlite3_value *v)
    {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(v));
        const int n = sqlite3_value_bytes(v);
        if (units.size() < size_t(n))
            units.resize(size_t(n));
        const qsizetype read = readUtf8(units.data(), bytes, n);
        return read >= 0 ? QStringView(units.data(), read) : text16(v);
    }
};

// Registered once for each encoding: SQLite calls the one in the file's own.
template <bool Utf8> void matches(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    std::unique_ptr<Search> fresh;
    auto *search = static_cast<Search *>(sqlite3_get_auxdata(context, 0));
    if (!search) {
        fresh.reset(new Search{FoldedNeedle(text16(argv[0]).toString()), {}});
        search = fresh.get();
    }
    bool found = false;
    for (int i = 1; i < argc && !found; ++i)
        found = sqlite3_value_type(argv[i]) == SQLITE_TEXT
                && search->needle.foundIn(Utf8 ? search->utf8(argv[i]) : text16(argv[i]));
    sqlite3_result_int(context, found ? 1 : 0);
    if (fresh)
        sqlite3_set_auxdata(context, 0, fresh.release(), [](void *p) { delete static_cast<Search *>(p); });
}

} // namespace

int addMatchFunction(sqlite3 *db)
{
    const int rc = sqlite3_create_function_v2(db, "zefto_matches", -1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
                                              matches<false>, nullptr, nullptr, nullptr);
    return rc != SQLITE_OK ? rc
                           : sqlite3_create_function_v2(db, "zefto_matches", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                        nullptr, matches<true>, nullptr, nullptr, nullptr);
}

QString matchCondition()
{
    QStringList arguments{QStringLiteral("?")};
    for (schema::Field f : filter::fields)
        arguments << u'"' + schema::fieldName(f) + u'"';
    return QStringLiteral("zefto_matches(%1)").arg(arguments.join(QStringLiteral(", ")));
}

} // namespace zefto::sqlite
