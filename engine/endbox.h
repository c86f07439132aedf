#pragma once

#include "outcome.h"

#include <QString>

namespace zefto::endbox {

// What a window's box at the end of a run says: the run's message, its first
// line unchanged, with the facts an operator acts on below it: the report,
// the records stored and the database they went to.
QString text(const RunOutcome &o);

} // namespace zefto::endbox
