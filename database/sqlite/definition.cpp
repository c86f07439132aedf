#include "definition.h"

#include "error.h"
#include "schema.h"
#include "sqlitestore.h"

#include <QHash>
#include <optional>

namespace zefto::sqlite::definition {
namespace {

QString table()
{
    return QLatin1String(schema::tableName);
}

QString text(sqlite3_stmt *q, int i)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q, i)));
}

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

void checkFields(SqliteStore &store)
{
    const QString &path = store.name();
    Statement q = store.prepare(
        QStringLiteral("SELECT name, type FROM pragma_table_info('%1')").arg(table()));
    QStringList columns;
    QHash<QString, QString> types;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        columns << text(q.get(), 0);
        types.insert(columns.last(), text(q.get(), 1));
    }
    if (rc != SQLITE_DONE)
        throw store.error(rc);
    if (columns.isEmpty())
        throw Error(err::TableNotFound, QStringLiteral("The database '%1' has no table '%2'.").arg(path, table()));
    const QStringList &fields = schema::fieldNames();
    // The schema's own strings: the recordset finds a field named from the schema by address.
    for (QString &c : columns)
        if (const qsizetype i = fields.indexOf(c); i >= 0)
            c = fields[i];
    for (const QString &f : fields)
        if (!columns.contains(f))
            throw Error(err::BadDefinition,
                        QStringLiteral("The table '%3' of '%1' has no field '%2'.").arg(path, f, table()));
    // '  300' must stay '  300': a numeric affinity would store the number 300.
    for (int i = 0; i < fields.size(); ++i)
        if (isTextField(i) && !keepsTextAsText(types.value(fields[i])))
            throw Error(err::BadDefinition,
                        QStringLiteral("The field '%2' of table '%4' in '%1' has the type '%3', which would "
                                       "store text such as '  300' as a number.")
                            .arg(path, fields[i], types.value(fields[i]), table()));
    store.setColumns(columns);
}

bool probeZeroLengthRefusal(SqliteStore &store, bool wait)
{
    if (!wait)
        sqlite3_busy_timeout(store.handle(), 0);
    // Outside a run the probe is a transaction of its own that is never
    // committed: committing nothing would still wait for every reader.
    const bool own = sqlite3_get_autocommit(store.handle()) != 0;
    store.exec(own ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT probe"));
    QString accepted;
    std::optional<Error> failure;
    bool locked = false;
    for (int i = 0; i < schema::requiredTextFields && accepted.isEmpty() && !failure && !locked; ++i) {
        const QString &f = schema::fieldNames()[i];
        try {
            store.exec(QStringLiteral("INSERT INTO %1(\"%2\") VALUES('')").arg(table(), f));
            accepted = f;
        } catch (const Error &e) {
            // Refused as it should be, or by another rule of the table: nothing learnt either way.
            if (e.number() == err::FileInUse)
                locked = true;
            else if (e.number() != err::ZeroLengthString && e.number() != err::Reserved)
                failure = e;
        }
    }
    sqlite3_exec(store.handle(), own ? "ROLLBACK" : "ROLLBACK TO probe; RELEASE probe", nullptr, nullptr, nullptr);
    if (!wait)
        sqlite3_busy_timeout(store.handle(), store.busyTimeoutMs());
    if (failure)
        throw *failure;
    if (locked)
        return false;
    if (!accepted.isEmpty())
        throw Error(err::BadDefinition,
                    QStringLiteral("The field '%2' of table '%3' in '%1' accepts zero-length text; "
                                   "the end of a report could not be recognised.")
                        .arg(store.name(), accepted, table()));
    return true;
}

} // namespace zefto::sqlite::definition
