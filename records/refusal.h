#pragma once

#include <QString>

namespace zefto::records {

// Why the records asked for cannot be read or written, in the operator's words.
struct Refusal {
    QString why;
};

} // namespace zefto::records
