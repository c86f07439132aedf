#pragma once

#include <QString>
#include <QStringView>

namespace zefto {

// A QString of its own holding `text`: zero-length (never null) when `text` is.
QString copied(QStringView text);
// Writes `text` over the first text.size() characters at `to`.
void copyChars(char16_t *to, QStringView text);

} // namespace zefto
