#pragma once

#include <sqlite3.h>

namespace zefto::sqlite {

// The collation ORDER BY names to sort text in Turkish alphabetical order (see TurkishOrder).
inline constexpr auto turkishCollation = "zefto_turkish";

// Adds turkishCollation to a connection, for files kept as UTF-16 and as UTF-8 alike.
int addTurkishCollation(sqlite3 *db);

} // namespace zefto::sqlite
