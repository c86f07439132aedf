#include "openstore.h"

#include "location.h"
#include "postgres/address.h"
#include "postgres/postgresbackend.h"
#include "sqlite/sqlitebackend.h"

namespace zefto {

std::shared_ptr<Store> openStore(const QString &name, Missing missing, const StoreOptions &options)
{
    const QString resolved = location::resolved(name);
    if (postgres::isPostgresAddress(resolved))
        return postgres::openPostgresStore(resolved, missing, options);
    return sqlite::openSqliteStore(resolved, missing, options);
}

} // namespace zefto
