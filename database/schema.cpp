#include "schema.h"

#include "ovrekson_sql.h"
#include "ovrekson_strict_sql.h"

namespace zefto::schema {

const QStringList &fieldNames()
{
    static const QStringList names = {
        QStringLiteral("yada"),      QStringLiteral("yparsel"),      QStringLiteral("yhispay"),
        QStringLiteral("yhispayda"), QStringLiteral("hisyuzolçumu"), QStringLiteral("yalan"),
        QStringLiteral("adi"),       QStringLiteral("soyadi"),       QStringLiteral("babaadi"),
        QStringLiteral("epafta"),    QStringLiteral("eada"),         QStringLiteral("eparsel"),
        QStringLiteral("ehispay"),   QStringLiteral("ehispayda"),    QStringLiteral("ealan"),
        QStringLiteral("tapu"),      QStringLiteral("dop"),          QStringLiteral("tahsis"),
        QStringLiteral("mahalle"),
    };
    return names;
}

QString createStatement()
{
    return QString::fromUtf8(ovreksonSql);
}

QString strictCreateStatement()
{
    return QString::fromUtf8(ovreksonStrictSql);
}

} // namespace zefto::schema
