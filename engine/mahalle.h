#pragma once

#include <QString>
#include <optional>

namespace zefto::mahalle {

// The neighbourhood the records have always held.
inline const QString defaultName = QStringLiteral("Tarçınbağı");
// Names it for the window and the command line when no option does.
inline constexpr auto environmentVariable = "ZEFTO_MAHALLE";

// The longest name taken, in characters.
inline constexpr int maxLength = 255;

// The option's value when given, else ZEFTO_MAHALLE when set, else the
// default. Throws Error: 3315 for an empty or blank name, 3000 for one
// longer than maxLength or holding a control character.
QString chosen(const std::optional<QString> &option);

} // namespace zefto::mahalle
