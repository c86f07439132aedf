#pragma once

#include "value.h"

#include <QString>
#include <QStringView>

namespace zefto::turkish {

// The validity flag: set to 1 when a Ğ is repaired in a father's name.
using ValidityFlag = qint16;

enum class NameKind { Owner, Father };

// Drops trailing blanks (U+0020 only); an all-blank value stays as it is.
QStringView trimTrailingBlanks(QStringView value);

// Puts back the six CP857 capitals that reading as Windows-1254 turned into
// other characters. A Ğ repaired in a father's name sets the flag.
void repairCp857(QString &value, NameKind kind, ValidityFlag &flag);

// I→ı, İ→i, anything else its simple lower case.
char16_t lower(char16_t c);

// Owner names: the first character and every character after a blank keep
// their case; every other character is lowered.
void properCase(QString &value);

// Fathers' names: every character after the first is lowered.
void firstLetterCase(QString &value);

// Splits at the last blank into given names and surname; the two
// institution names and one-word names stay whole with no surname. The
// given names keep the text's own buffer.
void splitOwnerName(QString cased, Value &adi, Value &soyadi);

// Numerator and denominator around the last "/", written over the slots
// own texts where nothing else shares them; without "/" the slots keep what they held.
void splitShare(QStringView share, Value &numerator, Value &denominator);

} // namespace zefto::turkish
