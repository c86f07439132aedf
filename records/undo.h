#pragma once

#include "database.h"

namespace zefto::records {

// Removes exactly the records of conversion `id` from `db` (opened for
// writing) and marks it undone by this user on this machine; returns how
// many were removed. The store's refusal (unknown, undone already, records
// gone) comes as an Error that removed nothing.
qint64 undoConversion(Database &db, qint64 id);

} // namespace zefto::records
