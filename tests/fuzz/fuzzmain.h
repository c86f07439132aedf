#pragma once

#include "checks.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

// Runs one check on a fuzzer input; a broken invariant or any escaping
// exception aborts, which libFuzzer records as a crash with its input.
inline void checkOrAbort(void (*check)(const QByteArray &), const uint8_t *data, size_t size)
{
    try {
        check(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const fuzzcheck::CheckFailure &e) {
        std::fprintf(stderr, "\nINVARIANT BROKEN: %s\n", e.what());
        std::abort();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "\nUNEXPECTED EXCEPTION: %s\n", e.what());
        std::abort();
    }
}
