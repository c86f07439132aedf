#pragma once

#include <QByteArray>
#include <stdexcept>
#include <string>

// The invariants the fuzz targets and the regression test check on one input.
// Each function returns when every invariant holds and throws CheckFailure,
// naming the broken invariant, otherwise (including when the code under test
// throws something it must not).
namespace fuzzcheck {

class CheckFailure : public std::runtime_error {
public:
    explicit CheckFailure(const std::string &what) : std::runtime_error(what) {}
};

// The bytes as a report file: line splitting and decoding, the column cut,
// the row kinds, the Turkish text rules and the number readings of every line.
void checkReportText(const QByteArray &bytes);

// The bytes as a whole report converted by a run into a table emptied before
// it. Needs a QCoreApplication (the SQL driver is a plugin). The first call
// makes a temporary directory the current directory for the rest of the process.
void checkRun(const QByteArray &bytes);

// Closes the database checkRun keeps open between inputs.
void releaseRun();

} // namespace fuzzcheck
