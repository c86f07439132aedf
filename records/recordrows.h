#pragma once

#include "store.h"

#include <QStringList>
#include <vector>

namespace zefto::records {

// The 19 fields in table order: the header of every listing and export.
const QStringList &recordFields();

// The key of a record of a store whose columns are `columns` (its "id").
qint64 keyOf(const QStringList &columns, const Record &record);

// A record of a store whose columns are `columns`, as the 19 fields in table order.
std::vector<Value> inFieldOrder(const QStringList &columns, const Record &record);

// How a listing shows a value: text as stored, a number as CSV writes it, no value as nothing.
QString cellText(const Value &v);

} // namespace zefto::records
