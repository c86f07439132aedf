#pragma once

#include <QStringList>
#include <vector>

namespace zefto::postgres {

class Connection;

// What the converter relies on in the table ovrekson on the server.
struct TableDefinition {
    QStringList columns;       // every field, in table order: the order of every Record
    int key = -1;              // the identity or serial key that orders records by insertion
    std::vector<bool> numeric; // per field: a number type (text sent there must read as a number)
};

// What the server says of this session, read with the table's definition.
struct SessionFacts {
    QString role;               // session_user: the role the server authenticated
    QString owner;              // the owner of ovrekson, who can grant privileges on it
    bool mayInsert = false;     // INSERT on ovrekson
    bool mayDelete = false;     // DELETE on ovrekson
    bool hasLog = false;        // zefto_conversions exists
    bool logHasRole = false;    // ... with the column role_name (added after the first servers)
    bool mayLog = false;        // INSERT on zefto_conversions (some columns suffice)
    bool mayMarkUndone = false; // UPDATE of undone_at and undone_by on zefto_conversions
    bool mayCreate = false;     // CREATE in the schema, where a missing log would go
    bool logHasCheck = false;   // ... with the columns of the shares' check
    bool mayLogCheck = false;   // ... which this role may fill in a new entry (INSERT on them)
};

// Creates ovrekson when the database has none (one client at a time, so two
// starting together both find it made), then checks it: the 19 fields, text
// kept as text, the zero-length refusal of fields 1-14, the key. Each
// refusal is the numbered Error naming the database and what is missing.
// All of it is read in one round trip; `facts` gets what the server says of the session.
TableDefinition prepareTable(Connection &connection, SessionFacts *facts);
// Only checks the table, creating nothing: 3078 when there is none.
TableDefinition checkTable(Connection &connection, SessionFacts *facts);

} // namespace zefto::postgres
