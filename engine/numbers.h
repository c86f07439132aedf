#pragma once

#include "value.h"

#include <QString>

namespace zefto {

// A double as text in its shortest form that reads back exactly, with "."
// as the decimal separator whatever the user's locale.
QString numberText(double d);

// The text a numeric field's Val reading starts from: a text as it is, no
// value as "", a number through numberText. Null has no text: Error 94.
QString valText(const Value &v);

// What Val reads from valText(v). A number that valText would write and Val
// read back exactly is taken as it is.
double valOf(const Value &v);

// Whether a share numerator counts as the number 1. A text must hold one
// number ("." decimal, blanks around it allowed), else Error 13; no value
// counts as 0.
bool countsAsOne(const Value &v);

} // namespace zefto
