#pragma once

#include "chosen.h"
#include "database.h"

#include <QTemporaryFile>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zefto::records {

// The records forEachChosen hands over, read inside one snapshot of the
// database and kept aside (in memory up to a few MiB, beyond in a temporary
// file), so the snapshot, and the lock a writer's commit waits for, ends
// before the slow part, formatting and writing, begins.
class ChosenSpool {
public:
    // Throws Error from the database, a Refusal when the temporary file cannot be written.
    ChosenSpool(Database &db, KeyRange keys, const std::optional<QString> &filter);
    // The records of `ranges` in turn, as forEachInRanges hands them.
    ChosenSpool(Database &db, const std::vector<KeyRange> &ranges, const std::optional<QString> &filter);

    qint64 count() const { return m_count; }
    // Hands each record to `each` in the order read, as often as it is called.
    void forEach(const std::function<void(const std::vector<Value> &)> &each);

private:
    void put(Fields fields);
    void spill();
    [[noreturn]] void fail(int error);

    std::unique_ptr<QTemporaryFile> m_file; // once the records outgrow memory
    QByteArray m_buffer;                    // all of them, or those not yet in the file
    qint64 m_count = 0;
};

} // namespace zefto::records
