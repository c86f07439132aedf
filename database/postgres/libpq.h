#pragma once

#include <libpq-fe.h>

namespace zefto::postgres {

// The libpq functions the PostgreSQL backend calls, loaded when a server is
// first named: linking libpq into the programs would load it and its
// Kerberos, LDAP and TLS libraries at every start, also for a file.
struct LibPq {
    decltype(&::PQresultStatus) resultStatus;
    decltype(&::PQresultErrorField) resultErrorField;
    decltype(&::PQerrorMessage) errorMessage;
    decltype(&::PQclear) clear;
    decltype(&::PQputCopyData) putCopyData;
    decltype(&::PQputCopyEnd) putCopyEnd;
    decltype(&::PQgetResult) getResult;
    decltype(&::PQstatus) status;
    decltype(&::PQsendQuery) sendQuery;
    decltype(&::PQexecParams) execParams;
    decltype(&::PQntuples) ntuples;
    decltype(&::PQnfields) nfields;
    decltype(&::PQgetvalue) getvalue;
    decltype(&::PQgetisnull) getisnull;
    decltype(&::PQsetNoticeProcessor) setNoticeProcessor;
    decltype(&::PQconnectdb) connectdb;
    decltype(&::PQconnectionNeedsPassword) connectionNeedsPassword;
    decltype(&::PQfinish) finish;
    decltype(&::PQhost) host;
    decltype(&::PQport) port;
    decltype(&::PQuser) user;
    decltype(&::PQdb) db;
    decltype(&::PQconsumeInput) consumeInput;
    decltype(&::PQnotifies) notifies;
    decltype(&::PQfreemem) freemem;
};

// Resolved on first use; throws Error (3051) when libpq cannot be found.
const LibPq &libpq();

} // namespace zefto::postgres
