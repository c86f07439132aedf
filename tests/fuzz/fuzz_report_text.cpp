// libFuzzer target: arbitrary bytes as a report file, checked line by line
// through reading, the column cut, the Turkish text rules and the numbers.
#include "fuzzmain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkOrAbort(fuzzcheck::checkReportText, data, size);
    return 0;
}
