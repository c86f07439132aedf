#include "definition.h"

#include "connection.h"
#include "error.h"
#include "schema.h"
#include "sqliteerror.h"

#include <QSqlQuery>
#include <QVariant>
#include <optional>
#include <sqlite3.h>

namespace zefto::definition {
namespace {

// SQLite's rules for the affinity a declared type gives a column, in their order.
enum class Affinity { Integer, Text, Blob, Real, Numeric };

Affinity affinityOf(const QString &declared)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Affinity::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (t.isEmpty() || t.contains(QLatin1String("BLOB")))
        return Affinity::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return Affinity::Real;
    return Affinity::Numeric;
}

bool keepsTextAsText(const QString &declared)
{
    const Affinity a = affinityOf(declared);
    return a == Affinity::Text || a == Affinity::Blob;
}

bool isTextField(int i)
{
    return i < schema::requiredTextFields || i == schema::Mahalle;
}

} // namespace

void checkFields(Connection &c)
{
    const QString &path = c.path;
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("SELECT name, type FROM pragma_table_info('%1')").arg(QLatin1String(schema::tableName))))
        throw sqliteError(q.lastError(), path);
    QStringList columns;
    QHash<QString, QString> types;
    while (q.next()) {
        columns << q.value(0).toString();
        types.insert(columns.last(), q.value(1).toString());
    }
    if (columns.isEmpty())
        throw Error(err::TableNotFound, QStringLiteral("The database '%1' has no table 'ovrekson'.").arg(path));
    const QStringList &fields = schema::fieldNames();
    for (const QString &f : fields)
        if (!columns.contains(f))
            throw Error(err::BadDefinition,
                        QStringLiteral("The table 'ovrekson' of '%1' has no field '%2'.").arg(path, f));
    // '  300' must stay '  300': a numeric affinity would store the number 300.
    for (int i = 0; i < fields.size(); ++i)
        if (isTextField(i) && !keepsTextAsText(types.value(fields[i])))
            throw Error(err::BadDefinition,
                        QStringLiteral("The field '%2' of table 'ovrekson' in '%1' has the type '%3', which would "
                                       "store text such as '  300' as a number.")
                            .arg(path, fields[i], types.value(fields[i])));
    c.columns = columns;
    c.columnIndex.clear();
    for (int i = 0; i < columns.size(); ++i)
        c.columnIndex.insert(columns[i], i);
}

bool probeZeroLengthRefusal(Connection &c, bool wait)
{
    if (!wait)
        sqlite3_busy_timeout(c.handle, 0);
    // Outside a run the savepoint takes no lock until its first write.
    c.exec(QStringLiteral("SAVEPOINT probe"));
    QString accepted;
    std::optional<Error> failure;
    bool locked = false;
    for (int i = 0; i < schema::requiredTextFields && accepted.isEmpty() && !failure && !locked; ++i) {
        const QString &f = schema::fieldNames()[i];
        try {
            c.exec(QStringLiteral("INSERT INTO ovrekson(\"%1\") VALUES('')").arg(f));
            accepted = f;
        } catch (const Error &e) {
            // Refused as it should be, or by another rule of the table: nothing learnt either way.
            if (e.number() == err::FileInUse)
                locked = true;
            else if (e.number() != err::ZeroLengthString && e.number() != err::Reserved)
                failure = e;
        }
    }
    c.tryExec(QStringLiteral("ROLLBACK TO probe"));
    c.tryExec(QStringLiteral("RELEASE probe"));
    if (!wait)
        sqlite3_busy_timeout(c.handle, c.busyTimeoutMs);
    if (failure)
        throw *failure;
    if (locked)
        return false;
    if (!accepted.isEmpty())
        throw Error(err::BadDefinition,
                    QStringLiteral("The field '%2' of table 'ovrekson' in '%1' accepts zero-length text; "
                                   "the end of a report could not be recognised.")
                        .arg(c.path, accepted));
    return true;
}

} // namespace zefto::definition
