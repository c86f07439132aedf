#pragma once

#include "drytarget.h"
#include "outcome.h"
#include "windowport.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace zefto::records {

// What a report would do to a database, found by a run through every rule
// against a scratch store that starts where the database stands.
struct DryRun {
    RunOutcome outcome;                // its message in the conditional: nothing was stored
    QStringList columns;               // the target's, the order of every record
    std::vector<Record> records;       // what the run would store, in order
    std::optional<Conversion> earlier; // the conversion of these bytes the real run's guard would find
};

// Runs the report `window` names against `target` as a dry run with the
// neighbourhood `mahalle`. `lastBefore` is the record the table would end
// with before this report (the target's own last record, or what an earlier
// dry report of the same batch would have stored last). The window sees the
// run as a real one would, but every end it is told is worded as what would
// happen. Throws Error only when the target's log cannot be read.
DryRun dryRun(WindowPort &window, const DryTarget &target, const QString &mahalle,
              const std::optional<Record> &lastBefore);

// A run's end told in the conditional, for a run that stored nothing.
QString conditionalMessage(const RunOutcome &o);

} // namespace zefto::records
