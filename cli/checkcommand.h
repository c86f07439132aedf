#pragma once

#include "database.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace zefto::cli {

// zefto-records check: lists every new parcel or record whose shares do not
// add up (see records/sharecheck.h), then one summary line per rule. `keys`
// turns --conversion into the keys to read (all of them without it).
// Returns 0 when nothing is off, 1 when something is; throws
// records::Refusal or Error when it cannot check, and `misused` (its text)
// for a --skip-rule that names no rule.
int checkCommand(Database &db, const std::function<KeyRange(const std::optional<QString> &)> &keys,
                 const std::optional<QString> &conversion, const std::optional<QString> &filter, const QString &format,
                 const QStringList &skipRules, const std::function<void(const QString &why)> &misused);

} // namespace zefto::cli
