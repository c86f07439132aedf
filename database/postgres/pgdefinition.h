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

// Creates ovrekson when the database has none (one client at a time, so two
// starting together both find it made), then checks it: the 19 fields, text
// kept as text, the zero-length refusal of fields 1-14, the key. Each
// refusal is the numbered Error naming the database and what is missing.
TableDefinition prepareTable(Connection &connection);
// Only checks the table, creating nothing: 3078 when there is none.
TableDefinition checkTable(Connection &connection);

} // namespace zefto::postgres
