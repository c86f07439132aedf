#pragma once

#include "error.h"

#include <functional>

// Runs f and returns the number of the Error it throws (0 when none), and its words.
inline int errorNumber(const std::function<void()> &f, QString *description = nullptr)
{
    try {
        f();
    } catch (const zefto::Error &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}
