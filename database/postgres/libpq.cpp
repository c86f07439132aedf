#include "libpq.h"

#include "error.h"

#include <dlfcn.h>

namespace zefto::postgres {
namespace {

constexpr const char *library = "libpq.so.5";

template <typename F> void resolve(void *handle, const char *name, F &f)
{
    f = reinterpret_cast<F>(dlsym(handle, name));
    if (!f)
        throw Error(err::CannotOpen,
                    QStringLiteral("The PostgreSQL client library has no '%1'.").arg(QLatin1String(name)));
}

LibPq load()
{
    // Loaded already when a test harness or a Qt driver brought it in.
    void *handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen(library, RTLD_LAZY);
    if (!handle)
        throw Error(err::CannotOpen, QStringLiteral("The PostgreSQL client library %1 cannot be loaded: %2.")
                                         .arg(QLatin1String(library), QString::fromLocal8Bit(dlerror())));
    LibPq f{};
    resolve(handle, "PQresultStatus", f.resultStatus);
    resolve(handle, "PQresultErrorField", f.resultErrorField);
    resolve(handle, "PQerrorMessage", f.errorMessage);
    resolve(handle, "PQclear", f.clear);
    resolve(handle, "PQputCopyData", f.putCopyData);
    resolve(handle, "PQputCopyEnd", f.putCopyEnd);
    resolve(handle, "PQgetResult", f.getResult);
    resolve(handle, "PQstatus", f.status);
    resolve(handle, "PQsendQuery", f.sendQuery);
    resolve(handle, "PQconsumeInput", f.consumeInput);
    resolve(handle, "PQnotifies", f.notifies);
    resolve(handle, "PQfreemem", f.freemem);
    resolve(handle, "PQexecParams", f.execParams);
    resolve(handle, "PQntuples", f.ntuples);
    resolve(handle, "PQnfields", f.nfields);
    resolve(handle, "PQgetvalue", f.getvalue);
    resolve(handle, "PQgetisnull", f.getisnull);
    resolve(handle, "PQsetNoticeProcessor", f.setNoticeProcessor);
    resolve(handle, "PQconnectdb", f.connectdb);
    resolve(handle, "PQconnectionNeedsPassword", f.connectionNeedsPassword);
    resolve(handle, "PQfinish", f.finish);
    resolve(handle, "PQhost", f.host);
    resolve(handle, "PQport", f.port);
    resolve(handle, "PQuser", f.user);
    resolve(handle, "PQdb", f.db);
    return f;
}

} // namespace

const LibPq &libpq()
{
    static const LibPq functions = load();
    return functions;
}

} // namespace zefto::postgres
