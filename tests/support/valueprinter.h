#pragma once

#include "value.h"

#include <ostream>

namespace zefto {
// Readable failure messages for values.
inline void PrintTo(const Value &v, std::ostream *os)
{
    switch (v.kind()) {
    case Value::Kind::Unset: *os << "(no value)"; break;
    case Value::Kind::Null: *os << "(null)"; break;
    case Value::Kind::Text: *os << '"' << v.asText().toStdString() << '"'; break;
    case Value::Kind::Double: *os << v.asDouble(); break;
    }
}
} // namespace zefto
