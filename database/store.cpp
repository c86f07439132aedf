#include "store.h"

#include "location.h"
#include "sqlite/sqlitebackend.h"

namespace zefto {

std::shared_ptr<Store> openStore(const QString &name, Missing missing, const StoreOptions &options)
{
    return sqlite::openSqliteStore(location::resolved(name), missing, options);
}

} // namespace zefto
