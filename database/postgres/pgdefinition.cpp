#include "pgdefinition.h"

#include "conversion.h"
#include "error.h"
#include "pgconnection.h"
#include "postgres_ovrekson_sql.h"
#include "schema.h"

#include <QHash>
#include <QVariant>

namespace zefto::postgres {
namespace {

const QString table = QLatin1String(schema::tableName);

// Serialises creation among Zefto clients; any number that others are unlikely to use.
constexpr qint64 creationLockKey = 0x5a6566746f; // "Zefto"

struct Column {
    QString name;
    QString type;  // as format_type spells it
    bool isKey;    // identity, or an integer filled from a sequence (serial)
    bool isNumber; // of the numeric type category
};

// The columns, the CHECK constraints and the session's facts, in one round trip.
struct Read {
    QList<Column> columns;
    QStringList checks; // definitions of the validated CHECK constraints
};

Read readDefinition(Connection &c, SessionFacts *facts)
{
    const QString log = QLatin1String(conversionTableName);
    const Batch b = c.batch(
        QStringLiteral(
            "SELECT a.attname, format_type(a.atttypid, a.atttypmod),"
            " t.typname IN ('int2', 'int4', 'int8') AND (a.attidentity <> ''"
            "  OR coalesce(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%'),"
            " t.typcategory = 'N'"
            " FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid"
            " LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum"
            " WHERE a.attrelid = to_regclass('%1') AND a.attnum > 0 AND NOT a.attisdropped"
            " ORDER BY a.attnum;"
            "SELECT pg_get_constraintdef(oid) FROM pg_constraint"
            " WHERE conrelid = to_regclass('%1') AND contype = 'c' AND convalidated;"
            "SELECT session_user, (SELECT pg_get_userbyid(relowner) FROM pg_class WHERE oid = to_regclass('%1')),"
            " has_table_privilege(to_regclass('%1'), 'INSERT'), has_table_privilege(to_regclass('%1'), 'DELETE'),"
            " to_regclass('%2') IS NOT NULL,"
            " EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass('%2') AND attname = 'role_name'"
            "  AND NOT attisdropped),"
            " has_any_column_privilege(to_regclass('%2'), 'INSERT'),"
            " has_column_privilege(to_regclass('%2'), 'undone_at', 'UPDATE')"
            "  AND has_column_privilege(to_regclass('%2'), 'undone_by', 'UPDATE'),"
            " has_schema_privilege(current_schema(), 'CREATE'),"
            " EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass('%2') AND attname = '%3' AND NOT "
            "attisdropped),"
            " CASE WHEN EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass('%2') AND attname = '%3' AND NOT"
            " attisdropped) THEN has_column_privilege(to_regclass('%2'), '%3', 'INSERT') ELSE false END")
            .arg(table, log, conversionlog::checkFields().constFirst()));
    Read r;
    for (const QVariantList &row : b.rows.at(0))
        r.columns.append({row[0].toString(), row[1].toString(), row[2].toString() == u't', row[3].toString() == u't'});
    for (const QVariantList &row : b.rows.at(1))
        r.checks << row[0].toString();
    const QVariantList &f = b.rows.at(2).at(0);
    const auto yes = [&](int i) { return f[i].toString() == u't'; };
    *facts = {f[0].toString(), f[1].toString(), yes(2), yes(3), yes(4), yes(5),
              yes(6),          yes(7),          yes(8), yes(9), yes(10)};
    return r;
}

// Fields whose value a validated CHECK of the table holds to more than zero characters.
QStringList fieldsRefusingZeroLength(const QStringList &checks)
{
    QStringList refusing;
    for (QString d : checks) {
        // The server prints a definition in one canonical form: CHECK ((yada <> ''::text)).
        for (const char *noise : {"::character varying", "::text", "\"", "(", ")", " "})
            d.remove(QString::fromUtf8(noise));
        for (const QString &f : schema::fieldNames().mid(0, schema::requiredTextFields))
            for (const QString &form : {QStringLiteral("CHECK%1<>''"), QStringLiteral("CHECKlength%1>0"),
                                        QStringLiteral("CHECKchar_length%1>0")})
                if (d == form.arg(f))
                    refusing << f;
    }
    return refusing;
}

bool isTextField(int i)
{
    return i < schema::requiredTextFields || i == schema::Mahalle;
}

bool keepsTextAsText(const QString &type)
{
    return type == QLatin1String("text") || type.startsWith(QLatin1String("character varying"));
}

void createTable(Connection &c)
{
    c.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(creationLockKey));
    // Each statement below starts after the lock is ours, so it sees a table the previous holder made.
    std::optional<Failure> failure = c.tryExec(QStringLiteral("BEGIN"));
    if (!failure)
        failure = c.tryExec(QString::fromUtf8(ovreksonPostgresSql));
    if (!failure)
        failure = c.tryExec(QStringLiteral("COMMIT"));
    if (failure && c.alive())
        c.tryExec(QStringLiteral("ROLLBACK"));
    if (c.alive())
        c.tryExec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(creationLockKey));
    if (!failure)
        return;
    if (failure->sqlstate == QLatin1String("42501"))
        throw Error(err::CannotOpen, QStringLiteral("Cannot create the table '%1' in the database '%2': %3.")
                                         .arg(table, c.name(), failure->message));
    throw c.error(*failure);
}

TableDefinition check(const Read &read, Connection &c)
{
    TableDefinition def;
    QHash<QString, const Column *> byName;
    for (const Column &col : read.columns) {
        def.columns << col.name;
        def.numeric.push_back(col.isNumber);
        byName.insert(col.name, &col);
        if (col.isKey && def.key < 0)
            def.key = int(def.columns.size() - 1);
    }
    const QString &name = c.name();
    const QStringList &fields = schema::fieldNames();
    for (const QString &f : fields)
        if (!byName.contains(f))
            throw Error(err::BadDefinition,
                        QStringLiteral("The table '%3' of '%1' has no field '%2'.").arg(name, f, table));
    // '  300' must stay '  300', and a number field must take the numbers the report holds.
    for (int i = 0; i < fields.size(); ++i) {
        const Column &col = *byName.value(fields[i]);
        if (isTextField(i) && !keepsTextAsText(col.type))
            throw Error(err::BadDefinition,
                        QStringLiteral("The field '%2' of table '%4' in '%1' has the type '%3', which would not keep "
                                       "text such as '  300' as it is.")
                            .arg(name, fields[i], col.type, table));
        if (!isTextField(i) && !col.isNumber)
            throw Error(err::BadDefinition,
                        QStringLiteral("The field '%2' of table '%4' in '%1' has the type '%3', which cannot hold "
                                       "numbers.")
                            .arg(name, fields[i], col.type, table));
    }
    const QStringList refusing = fieldsRefusingZeroLength(read.checks);
    for (const QString &f : fields.mid(0, schema::requiredTextFields))
        if (!refusing.contains(f))
            throw Error(err::BadDefinition,
                        QStringLiteral("The field '%2' of table '%3' in '%1' accepts zero-length text; the end of a "
                                       "report could not be recognised.")
                            .arg(name, f, table));
    if (def.key < 0)
        throw Error(err::BadDefinition,
                    QStringLiteral("The table '%2' of '%1' has no identity or serial key (such as 'id bigint generated "
                                   "always as identity'), which keeps its records in the order they were added.")
                        .arg(name, table));
    return def;
}

} // namespace

TableDefinition prepareTable(Connection &c, SessionFacts *facts)
{
    Read read = readDefinition(c, facts);
    if (read.columns.isEmpty()) {
        createTable(c);
        read = readDefinition(c, facts);
    }
    if (read.columns.isEmpty())
        throw Error(err::TableNotFound, QStringLiteral("The database '%1' has no table '%2'.").arg(c.name(), table));
    return check(read, c);
}

TableDefinition checkTable(Connection &c, SessionFacts *facts)
{
    const Read read = readDefinition(c, facts);
    if (read.columns.isEmpty())
        throw Error(err::TableNotFound, QStringLiteral("The database '%1' has no table '%2'.").arg(c.name(), table));
    return check(read, c);
}

} // namespace zefto::postgres
