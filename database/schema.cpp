#include "schema.h"

#include "ovrekson_sql.h"
#include "ovrekson_strict_sql.h"

#include <QRegularExpression>

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

QString typeofCreateStatement()
{
    QString sql = createStatement();
    sql.replace(QRegularExpression(QStringLiteral("CHECK \\(((\"[^\"]+\")|\\w+) < x''\\)")),
                QStringLiteral("CHECK (typeof(\\1) = 'text' OR \\1 IS NULL)"));
    sql.replace(QRegularExpression(QStringLiteral("CHECK \\((\\w+) < ''\\)")),
                QStringLiteral("CHECK (typeof(\\1) = 'real' OR typeof(\\1) = 'integer' OR \\1 IS NULL)"));
    return sql;
}

} // namespace zefto::schema
