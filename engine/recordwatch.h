#pragma once

#include "conversion.h"
#include "outcome.h"
#include "store.h"

namespace zefto {

// What was worked out from a run's records while it stored them: the counts
// for its log entry and the line its operator reads.
struct WatchedRun {
    ShareTally rules;
    SharesChecked shares;
};

// Follows a run's records as the store accepted them, in key order, so that
// nothing is read back after the commit. The share check of the records
// library is one; the window and the command line hand it to the engine.
class RecordWatch {
public:
    virtual ~RecordWatch() = default;
    // A run begins; its records will come in a store whose columns are `columns`.
    virtual void begin(const QStringList &columns) = 0;
    // One record as the table holds it (its key may be 0 until the commit).
    virtual void stored(const Record &record) = 0;
    // Once, after the run's last record, before its log entry is written.
    virtual WatchedRun settle() = 0;
};

} // namespace zefto
