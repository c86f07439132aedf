#pragma once

#include "conversion.h"

#include <QString>
#include <optional>

namespace zefto {

// What the check of a run's own records after its commit found.
struct SharesChecked {
    qint64 parcels = 0;    // new parcels among the run's records
    qint64 parcelsOff = 0; // of them whose shares or share areas do not add up (or cannot be read)
    qint64 recordsOff = 0; // records whose title deed or allocation does not match (or cannot be read)
    QString failure;       // why they could not be checked; the counts mean nothing then
};

// How a conversion run ended and what it did, for the caller's summary.
struct RunOutcome {
    enum class End {
        Converted,   // "Converted": the table ended and a Ğ was repaired in a father's name
        InvalidFile, // " Invalid file ": the table ended without such a repair
        Incomplete,  // an empty required column stopped the run before later data lines
        Failed,      // any other failure once the conversion had begun
        Interrupted, // stopped on request and taken back: nothing of it was stored
        NotStarted,  // the report or the database could not be used; nothing written
        Duplicate,   // the report's bytes were converted before and not undone: refused, nothing written
    };
    End end = End::NotStarted;
    QString message;     // what the operator was shown
    QString reportPath;  // full path of the report as the run opened it
    QString database;    // where the records go, as an operator may be shown it (no password)
    int errorNumber = 0; // what stopped the run (3315 at a normal end, 0 at the end of the file)
    QString errorDescription;
    int linesInReport = 0;
    int linesRead = 0;     // in the conversion pass
    int stoppedAtLine = 0; // the line being converted or read when the run stopped
    qint64 recordsStored = 0;
    qint64 firstKey = 0, lastKey = 0;    // of the run's records in ovrekson (0 when none was stored)
    int unconvertedDataLines = 0;        // Incomplete only
    bool notAReport = false;             // nothing stored, and no line where data lines stand is as long as one
    QString sha256;                      // of the report's bytes, lower-case hex
    qint64 reportSize = 0;               // in bytes
    QString mahalle;                     // the neighbourhood every record got
    qint64 conversionId = 0;             // its entry in the conversion log (0 when none was written)
    std::optional<Conversion> earlier;   // Duplicate: the conversion of the same bytes still on record
    std::optional<SharesChecked> shares; // the check after the commit; nothing when no check ran
};

} // namespace zefto
