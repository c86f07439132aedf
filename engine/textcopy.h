#pragma once

#include <QString>
#include <QStringView>

namespace zefto {

// A QString of its own holding `text`: zero-length (never null) when `text` is.
QString copied(QStringView text);

} // namespace zefto
