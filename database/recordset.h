#pragma once

#include "schema.h"
#include "value.h"

#include <QString>
#include <array>
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
    // The same by the schema's field numbers: each name is looked up once per
    // recordset, not once per record (the page converter sets 19 fields of each).
    const Value &field(schema::Field f) const; // valid until the next moveLast
    void setField(schema::Field f, const Value &v);
    // A text field, copied into a buffer an earlier record left when nothing else holds it.
    void setText(schema::Field f, QStringView text);
    void update(); // stores it, or throws and keeps it pending
    void close();  // discards a pending record, commits the rest outside a run

private:
    Store &live() const;                   // throws 3420 when this or its database is closed
    int column(const QString &name) const; // throws 3265
    // Inline: the page converter sets 19 fields of every record by number.
    int column(schema::Field f) const
    {
        const int i = m_fieldColumns[f];
        return i >= 0 && isOpen() ? i : lookUp(f);
    }
    int lookUp(schema::Field f) const;      // resolves a field; throws 3420 when closed, 3265 when missing
    const Value &current(int column) const; // throws 3021 without a current record
    Value &edit(int column)                 // marks it given
    {
        if (!m_editing)
            refuseEdit();
        m_given[size_t(column)] = true;
        return m_edit[size_t(column)];
    }
    [[noreturn]] static void refuseEdit(); // 3020 outside AddNew .. Update

    std::shared_ptr<Store> m_store;
    bool m_open = false;
    std::vector<Value> m_current; // empty: no current record
    // The record being added: only the fields marked in m_given are its own;
    // the others hold what earlier records left, for setText to write over.
    std::vector<Value> m_edit;
    std::vector<bool> m_given;
    bool m_editing = false;
    mutable int m_lastColumn = -1;                                             // where the previous field lookup landed
    mutable std::array<int, schema::FieldCount> m_fieldColumns = unresolved(); // -1: not looked up yet

    static constexpr std::array<int, schema::FieldCount> unresolved()
    {
        std::array<int, schema::FieldCount> a{};
        a.fill(-1);
        return a;
    }
};

} // namespace zefto
