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

// keyOf and inFieldOrder for many records of one store: the columns are looked up once.
class FieldOrder {
public:
    explicit FieldOrder(const QStringList &columns);
    qint64 keyOf(const Record &record) const;
    // Sets `fields` to the record's 19 fields in table order, reusing its storage.
    void fill(const Record &record, std::vector<Value> &fields) const;

private:
    std::vector<qsizetype> m_at; // where each field stands in a record; -1: the store lacks it
    qsizetype m_key;
};

// How a listing shows a value: text as stored, a number as CSV writes it, no value as nothing.
QString cellText(const Value &v);

// `text` safe for a terminal: control characters (C0, DEL, C1) shown as
// escapes, \n \r \t by name and the others as \xHH; everything else as it is.
QString escapedControls(const QString &text);

} // namespace zefto::records
