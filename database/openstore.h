#pragma once

#include "store.h"

namespace zefto {

// Opens the store a database name leads to (a file path or a postgresql:// address); see location.h.
// The one place that knows both backends, so the interface in store.h knows neither.
std::shared_ptr<Store> openStore(const QString &name, Missing missing, const StoreOptions &options);

} // namespace zefto
