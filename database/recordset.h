#pragma once

#include "value.h"

#include <QString>
#include <memory>
#include <vector>

namespace zefto {

class Store;

// A dynaset over ovrekson: the last record can be read back, and new
// records are added one at a time with AddNew, field settings and Update.
class Recordset {
public:
    Recordset() = default;
    explicit Recordset(std::shared_ptr<Store> store);

    bool isOpen() const;
    void moveLast();                        // 3021 on an empty table
    Value field(const QString &name) const; // of the current record
    void addNew();
    void setField(const QString &name, const Value &v); // of the record being added
    void update();                                      // stores it, or throws and keeps it pending
    void close();                                       // discards a pending record, commits the rest outside a run

private:
    Store &live() const;                   // throws 3420 when this or its database is closed
    int column(const QString &name) const; // throws 3265

    std::shared_ptr<Store> m_store;
    bool m_open = false;
    std::vector<Value> m_current; // empty: no current record
    std::vector<Value> m_edit;
    std::vector<bool> m_given; // which fields of m_edit were set
    bool m_editing = false;
    mutable int m_lastColumn = -1; // where the previous field lookup landed
};

} // namespace zefto
