#pragma once

#include <QString>
#include <optional>

namespace zefto::postgres {

// The text that joins a record's filtered fields before the server tests
// them, so that no match can run from one field into the next.
inline constexpr char16_t fieldSeparator = u'\x01';

// A regular expression (PostgreSQL's advanced flavour) that finds, in any
// text, exactly where the text folded as letterfold.h says contains `text`
// folded: each folded letter becomes the class of every character that folds
// to it, with the marks folding drops allowed between them. Nothing when the
// folded text holds a character this cannot stand for exactly (letters from
// U+0800 on, which some characters fold to as part of several; the
// separator); the filter is then tested by the program.
std::optional<QString> matchPattern(const QString &text);

} // namespace zefto::postgres
