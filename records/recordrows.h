#pragma once

#include "store.h"

#include <QStringList>
#include <vector>

namespace zefto::records {

// The 19 fields in table order: the header of every listing and export.
const QStringList &recordFields();

// Where the 19 fields and the key stand in the records of a store whose
// columns are `columns`: looked up once, for reading many records.
class FieldPlaces {
public:
    explicit FieldPlaces(const QStringList &columns);
    // The record's key (its "id"; 0 when it has none).
    qint64 key(const Record &record) const;
    // The record as the 19 fields in table order, into `fields`.
    void fields(const Record &record, std::vector<Value> &fields) const;
    // The 19 fields in table order where the record holds them so (the table
    // this program creates), else nothing: the caller copies them with fields().
    const Value *inPlace(const Record &record) const;

private:
    std::vector<qsizetype> m_at; // per field, its column (-1: none)
    qsizetype m_key = -1;
    qsizetype m_first = -1; // the column of the first field when all 19 follow it in order
};

// The key of a record of a store whose columns are `columns` (its "id").
qint64 keyOf(const QStringList &columns, const Record &record);

// A record of a store whose columns are `columns`, as the 19 fields in table order.
std::vector<Value> inFieldOrder(const QStringList &columns, const Record &record);

// How a listing shows a value: text as stored, a number as CSV writes it, no value as nothing.
QString cellText(const Value &v);

// `text` safe for a terminal: control characters (C0, DEL, C1) shown as
// escapes, \n \r \t by name and the others as \xHH; everything else as it is.
QString escapedControls(const QString &text);

} // namespace zefto::records
