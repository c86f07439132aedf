#pragma once

#include "error.h"

namespace zefto::postgres {

// What a failed statement left behind, as the server (or libpq) told it.
struct Failure {
    QString sqlstate;    // empty when libpq itself failed (no server answer)
    QString message;     // the server's primary message, or libpq's
    bool connectionLost; // the connection is no longer usable
};

// Turns a failure into our numbered error, by SQLSTATE and connection state,
// never by message text; `name` is the address as messages show it.
Error serverError(const Failure &f, const QString &name);

// The server's or libpq's message without severity prefixes, the SQLSTATE
// the driver appends, and line breaks.
QString cleanMessage(QString message, const QString &sqlstate);

} // namespace zefto::postgres
