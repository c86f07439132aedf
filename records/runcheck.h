#pragma once

#include "database.h"
#include "outcome.h"

namespace zefto::records {

// The check every conversion gets once its records are committed: all four
// rules over the run's own records, the counts kept in its log entry and in
// `outcome.shares`. A log that cannot take them leaves the counts all the same.
// Throws Error when the records cannot be read.
void checkRun(Database &db, RunOutcome &outcome);

// The line that tells it: "shares: 41 new parcels, all add up", or what does
// not and the command that lists it.
QString runLine(const SharesChecked &shares, qint64 conversionId);

} // namespace zefto::records
