#include "database.h"

#include "error.h"
#include "openstore.h"
#include "schema.h"

namespace zefto {

Database::~Database()
{
    closeInDestructor(*this);
}

void Database::open(const QString &name, Missing missing)
{
    close();
    m_store = openStore(name, missing, m_options);
}

void Database::attach(std::shared_ptr<Store> store)
{
    close();
    m_store = std::move(store);
}

void Database::close()
{
    if (!m_store)
        return;
    // Recordsets still holding the store see it closed and refuse work (3420).
    const std::shared_ptr<Store> store = std::move(m_store);
    m_store.reset();
    store->close();
}

bool Database::isOpen() const
{
    return m_store && m_store->isOpen();
}

QString Database::path() const
{
    return m_store ? m_store->name() : QString();
}

Store &Database::live() const
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    return *m_store;
}

Recordset Database::openRecordset(const QString &table)
{
    Store &store = live();
    if (table != QLatin1String(schema::tableName))
        throw Error(err::TableNotFound,
                    QStringLiteral("The database '%1' has no table '%2'.").arg(store.name(), table));
    return Recordset(m_store);
}

void Database::beginRun(const WaitCallback &whileWaiting)
{
    live().beginRun(whileWaiting);
}

void Database::commitRun()
{
    if (isOpen())
        m_store->commitRun();
}

void Database::rollbackRun() noexcept
{
    if (isOpen())
        m_store->rollbackRun();
}

bool Database::inRun() const
{
    return isOpen() && m_store->inRun();
}

bool Database::stillNamesItsFile() const
{
    return isOpen() && m_store->stillThere();
}

KeyRange Database::runKeys() const
{
    return m_store ? m_store->runKeys() : KeyRange{0, 0};
}

void Database::commit()
{
    live().commitPending();
}

qint64 Database::recordsStored() const
{
    return m_store ? m_store->recordsStored() : 0;
}

void Database::readRecords(const QList<KeyRange> &ranges,
                           const std::function<void(const QStringList &fields, const Record &)> &each)
{
    Store &store = live();
    store.readRecords(ranges, [&](const Record &r) { each(store.columns(), r); });
}

} // namespace zefto
