#pragma once

#include <QString>
#include <optional>

namespace zefto::postgres {

// The text that joins a record's filtered fields before the server tests
// them, so that no match can run from one field into the next.
inline constexpr char16_t fieldSeparator = u'\x01';

// How many folded letters a pattern stands for at most: the server's time
// grows with each one, so a longer filter has its first letters tested there
// and the whole of it tested again by the program on what they let through.
inline constexpr int patternLetters = 16;

// A regular expression (PostgreSQL's advanced flavour) that finds, in any
// text, exactly where the text folded as letterfold.h says contains `text`
// folded: each folded letter becomes the class of every character that folds
// to it, with the marks folding drops allowed between them.
struct MatchPattern {
    QString expression;
    bool whole = true; // false: it stands for the first patternLetters letters only
};
// Nothing when the folded text holds a character this cannot stand for
// exactly (letters from U+0800 on, which some characters fold to as part of
// several; the separator); the filter is then tested by the program.
std::optional<MatchPattern> matchPattern(const QString &text);

} // namespace zefto::postgres
