#include "recordset.h"

#include "error.h"
#include "store.h"

namespace zefto {
namespace {

// Stores name their columns with the schema's own strings where they can, so
// a name given from the schema is found by its address, without comparing text.
bool sameText(const QString &a, const QString &b)
{
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

} // namespace

Recordset::Recordset(std::shared_ptr<Store> store) : m_store(std::move(store)), m_open(true)
{}

bool Recordset::isOpen() const
{
    return m_open && m_store && m_store->isOpen();
}

Store &Recordset::live() const
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    return *m_store;
}

int Recordset::column(const QString &name) const
{
    // Fields are mostly set in table order: try the one after the last before searching.
    const QStringList &columns = live().columns();
    const int next = m_lastColumn + 1;
    if (next < columns.size() && sameText(columns[next], name))
        return m_lastColumn = next;
    const int i = int(columns.indexOf(name));
    if (i < 0)
        throw Error(err::ItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(name));
    return m_lastColumn = i;
}

int Recordset::lookUp(schema::Field f) const
{
    int &i = m_fieldColumns[f];
    if (i < 0)
        return i = column(schema::fieldName(f));
    live(); // a closed recordset refuses as it does by name
    return i;
}

void Recordset::moveLast()
{
    std::optional<Record> last = live().lastRecord();
    if (!last)
        throw Error::of(err::NoCurrentRecord);
    m_current = std::move(*last);
}

Value Recordset::field(const QString &name) const
{
    return current(column(name));
}

const Value &Recordset::field(schema::Field f) const
{
    return current(column(f));
}

const Value &Recordset::current(int i) const
{
    if (m_current.empty())
        throw Error::of(err::NoCurrentRecord);
    return m_current[i];
}

void Recordset::addNew()
{
    const size_t n = size_t(live().columns().size());
    // Stores take only the fields given: what the others hold is never stored.
    if (m_edit.size() != n)
        m_edit.assign(n, Value());
    m_given.assign(n, false);
    m_editing = true;
}

void Recordset::setField(const QString &name, const Value &v)
{
    edit(column(name)) = v;
}

void Recordset::setField(schema::Field f, const Value &v)
{
    edit(column(f)) = v;
}

void Recordset::setText(schema::Field f, QStringView text)
{
    edit(column(f)).setText(text);
}

void Recordset::refuseEdit()
{
    throw Error(err::UpdateWithoutAddNew, QStringLiteral("Update or field setting without AddNew."));
}

void Recordset::update()
{
    Store &store = live();
    if (!m_editing)
        refuseEdit();
    store.appendTaking(m_edit, m_given); // what m_edit holds after is left for the next record to write over
    m_editing = false;
}

void Recordset::close()
{
    Store &store = live();
    m_open = false;
    m_editing = false;
    m_current.clear();
    store.commitPending();
}

} // namespace zefto
