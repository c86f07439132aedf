#pragma once

#include <QStringList>
#include <optional>
#include <vector>

namespace zefto::sqlite {

class Connection;

// What the converter relies on in the table ovrekson; each check throws the
// numbered Error that names the path and what is missing.
namespace definition {

// The 19 fields, and text fields whose type keeps text as text. Read-only.
// Returns the table's column list, in table order.
QStringList checkFields(Connection &db);

// Tries a zero-length text in each required field inside a savepoint it
// rolls back: a table that accepted one would never end a report. Needs the
// write lock; returns false, having written nothing, when another program
// holds it and `wait` is false.
bool probeZeroLengthRefusal(Connection &db, bool wait);

// How a field of ovrekson keeps what is bound to it.
enum class FieldKind { Key, Text, Real };

// The file's text encoding as SQLite names it ("UTF-8", "UTF-16le", "UTF-16be"). Read-only.
QString encoding(Connection &db);

// When ovrekson is exactly the table this program creates, in a UTF-8 or
// UTF-16le file with no trigger, a record reads back as it was bound: then the kind of each
// field, in table order; otherwise nothing. `columns` as checkFields gave them. Read-only.
std::vector<FieldKind> storedAsBound(Connection &db, const QStringList &columns);

// A CHECK of ovrekson refusing zero-length text in one field.
struct ZeroLengthCheck {
    int column;   // the field's place in table order
    QString name; // the constraint's name, which SQLite's refusal gives
};

// The table's CHECKs refusing zero-length text, in the order SQLite tries them, when every other
// CHECK it has only keeps a field to its own type (text fields text, area fields numbers);
// otherwise nothing. `kinds` as storedAsBound gave them. Read-only.
std::optional<std::vector<ZeroLengthCheck>> zeroLengthChecks(Connection &db, const QStringList &columns,
                                                             const std::vector<FieldKind> &kinds);

} // namespace definition
} // namespace zefto::sqlite
