#pragma once

#include "store.h"

namespace zefto::sqlite {

// Opens (and when allowed creates) the SQLite file at the absolute `path`. Throws Error.
std::shared_ptr<Store> openSqliteStore(const QString &path, Missing missing, const StoreOptions &options);

} // namespace zefto::sqlite
