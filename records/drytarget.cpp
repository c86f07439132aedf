#include "drytarget.h"

#include "error.h"
#include "location.h"
#include "recordrows.h"

#include <QFileInfo>

namespace zefto::records {

std::optional<Conversion> DryTarget::earlier(const QString &sha256) const
{
    return db ? db->findConversion(sha256) : std::nullopt;
}

bool notCreatedYet(const QString &name)
{
    return !location::isServerAddress(name) && !QFileInfo::exists(name);
}

DryTarget readDryTarget(const QString &name)
{
    DryTarget t;
    t.name = name;
    t.columns = QStringList{QStringLiteral("id")} + recordFields();
    if (notCreatedYet(name))
        return t;
    t.db = std::make_shared<Database>();
    t.db->setReadOnly(true);
    try {
        t.db->open(name, Missing::Refuse);
    } catch (const Error &e) {
        if (e.number() != err::TableNotFound)
            throw;
        t.db.reset();
        return t;
    }
    t.columns = t.db->columns();
    t.last = t.db->lastRecord();
    return t;
}

} // namespace zefto::records
