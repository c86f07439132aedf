#pragma once

#include "store.h"

namespace zefto::postgres {

// Connects to the PostgreSQL database a postgresql:// address names and
// makes its table ovrekson ready (created when missing). Throws Error.
std::shared_ptr<Store> openPostgresStore(const QString &address, Missing missing, const StoreOptions &options);

} // namespace zefto::postgres
