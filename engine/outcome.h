#pragma once

#include "conversion.h"

#include <QString>
#include <optional>

namespace zefto {

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
    QString message;        // what the operator was shown
    QString reportPath;     // full path of the report as the run opened it
    QString database;       // where the records go, as an operator may be shown it (no password)
    int errorNumber = 0;    // what stopped the run (3315 at a normal end, 0 at the end of the file)
    QString errorDescription;
    int linesInReport = 0;
    int linesRead = 0;      // in the conversion pass
    int stoppedAtLine = 0;  // the line being converted or read when the run stopped
    qint64 recordsStored = 0;
    qint64 firstKey = 0, lastKey = 0; // of the run's records in ovrekson (0 when none was stored)
    int unconvertedDataLines = 0; // Incomplete only
    bool notAReport = false; // nothing stored, and no line where data lines stand is as long as one
    QString sha256;         // of the report's bytes, lower-case hex
    qint64 reportSize = 0;  // in bytes
    QString mahalle;        // the neighbourhood every record got
    qint64 conversionId = 0;             // its entry in the conversion log (0 when none was written)
    std::optional<Conversion> earlier;   // Duplicate: the conversion of the same bytes still on record
};

} // namespace zefto
