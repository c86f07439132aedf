#pragma once

#include <QString>
#include <sqlite3.h>

namespace zefto::sqlite {

// Adds zefto_matches(text, field...) to a connection: 1 when one of the
// fields is text holding `text` as filter.h says (case and Turkish letter
// marks ignored), else 0. The text is folded once per statement.
int addMatchFunction(sqlite3 *db);

// The condition that tests a record of ovrekson, with the text bound to its one "?".
QString matchCondition();

} // namespace zefto::sqlite
