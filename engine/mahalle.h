#pragma once

#include <QString>
#include <optional>

namespace zefto::mahalle {

// The neighbourhood the records have always held.
inline const QString defaultName = QStringLiteral("Tarçınbağı");
// Names it for the window and the command line when no option does.
inline constexpr auto environmentVariable = "ZEFTO_MAHALLE";

// The option's value when given, else ZEFTO_MAHALLE when set, else the
// default. Throws Error (3315) for an empty or blank name.
QString chosen(const std::optional<QString> &option);

} // namespace zefto::mahalle
