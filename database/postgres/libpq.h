#pragma once

#include <libpq-fe.h>

namespace zefto::postgres {

// The few libpq functions we call ourselves (COPY, errors), taken from the
// libpq the QPSQL driver loads: linking libpq into the programs would load it
// and its Kerberos, LDAP and TLS libraries at every start, also for a file.
struct LibPq {
    decltype(&::PQexec) exec;
    decltype(&::PQresultStatus) resultStatus;
    decltype(&::PQresultErrorField) resultErrorField;
    decltype(&::PQerrorMessage) errorMessage;
    decltype(&::PQclear) clear;
    decltype(&::PQputCopyData) putCopyData;
    decltype(&::PQputCopyEnd) putCopyEnd;
    decltype(&::PQgetResult) getResult;
    decltype(&::PQstatus) status;
};

// Resolved on first use; throws Error (3051) when libpq cannot be found.
const LibPq &libpq();

} // namespace zefto::postgres
