// libFuzzer target: arbitrary bytes as a whole report, converted by a run
// into a temporary database.
#include "fuzzmain.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    // The SQL driver is a plugin, and plugins need an application object.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkOrAbort(fuzzcheck::checkRun, data, size);
    return 0;
}
