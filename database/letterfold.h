#pragma once

#include <QString>

namespace zefto {

// The text lowered with its letter marks dropped, so that searches ignore
// case and Turkish letter marks: I, İ, ı and i all become "i"; Ç, Ğ, Ö, Ş, Ü
// become c, g, o, s, u (and â, î, û, like every other marked letter, lose
// their marks too).
QString foldLetters(const QString &text);

// Whether `text` contains `needle`, both folded as above; an empty needle is
// found everywhere.
bool containsFolded(const QString &text, const QString &needle);

} // namespace zefto
