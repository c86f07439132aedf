#pragma once

#include "database.h"

#include <memory>
#include <optional>

namespace zefto::records {

// What a dry run starts from: the target's columns, last record and log,
// read without changing a byte. A missing database or table is an empty table.
struct DryTarget {
    QString name; // resolved, as stores name it
    QStringList columns;
    std::optional<Record> last;
    std::shared_ptr<Database> db; // open while there is a table to read

    // The conversion of these bytes the real run's guard would find.
    std::optional<Conversion> earlier(const QString &sha256) const;
};

// Whether `name` (resolved) is a database file no conversion has made yet:
// a folder where nothing was converted, not a database that went away.
bool notCreatedYet(const QString &name);

// Reads the target `name` (resolved) for a dry run; throws Error when it cannot.
DryTarget readDryTarget(const QString &name);

} // namespace zefto::records
