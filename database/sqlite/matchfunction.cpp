#include "matchfunction.h"

#include "filter.h"

#include <memory>

namespace zefto::sqlite {
namespace {

QStringView textOf(sqlite3_value *v)
{
    const auto *units = static_cast<const char16_t *>(sqlite3_value_text16(v));
    return units ? QStringView(units, sqlite3_value_bytes16(v) / 2) : QStringView();
}

void matches(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    // The folded text lives as long as the statement: SQLite keeps it beside argument 0.
    std::unique_ptr<FoldedNeedle> fresh;
    auto *needle = static_cast<FoldedNeedle *>(sqlite3_get_auxdata(context, 0));
    if (!needle) {
        fresh = std::make_unique<FoldedNeedle>(textOf(argv[0]).toString());
        needle = fresh.get();
    }
    bool found = false;
    for (int i = 1; i < argc && !found; ++i)
        found = sqlite3_value_type(argv[i]) == SQLITE_TEXT && needle->foundIn(textOf(argv[i]));
    sqlite3_result_int(context, found ? 1 : 0);
    if (fresh)
        sqlite3_set_auxdata(context, 0, fresh.release(), [](void *p) { delete static_cast<FoldedNeedle *>(p); });
}

} // namespace

int addMatchFunction(sqlite3 *db)
{
    return sqlite3_create_function_v2(db, "zefto_matches", -1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr, matches,
                                      nullptr, nullptr, nullptr);
}

QString matchCondition()
{
    QStringList arguments{QStringLiteral("?")};
    for (schema::Field f : filter::fields)
        arguments << u'"' + schema::fieldName(f) + u'"';
    return QStringLiteral("zefto_matches(%1)").arg(arguments.join(QStringLiteral(", ")));
}

} // namespace zefto::sqlite
