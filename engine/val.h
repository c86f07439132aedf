#pragma once

#include <QStringView>

namespace zefto {

// Reads the longest leading number of a text, the way the area and figure
// columns have always been read: blanks, tabs and line feeds anywhere are
// skipped, "." is the only decimal separator, E or D starts an exponent,
// &H and &O read hexadecimal and octal. No number at the start gives 0.
// Throws Error 6 (Overflow) when the number does not fit a double.
double val(QStringView text);

} // namespace zefto
