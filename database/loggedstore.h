#pragma once

#include "store.h"

#include <QVariant>

namespace zefto {

// A store that keeps the conversion log in a table of its own, read by SQL:
// the reads of the log are the same on every such backend, written here once.
class LoggedStore : public Store {
public:
    std::optional<Conversion> findConversion(const QString &sha256) final;
    std::vector<Conversion> conversions() final;

protected:
    // The log's entries selected by `where` (with `params` bound in order),
    // read in fieldList order; none when there is no log yet.
    virtual std::vector<Conversion> readLog(const QString &where, const QList<QVariant> &params) = 0;
};

} // namespace zefto
