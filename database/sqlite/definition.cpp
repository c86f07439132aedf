#include "definition.h"

#include "connection.h"
#include "error.h"
#include "schema.h"

#include <QHash>
#include <QRegularExpression>
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

struct Reference {
    QString sql; // as sqlite_master holds it
    QStringList columns;
    std::vector<FieldKind> kinds;
};

// The table our own statement makes, read from a database in memory: the
// text SQLite keeps for it, and how each of its fields stores a value.
Reference readReference(const QString &createStatement)
{
    Reference r;
    try {
        Connection db;
        db.open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE, 0);
        db.exec(createStatement);
        Statement q = db.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table'"));
        if (sqlite3_step(q.get()) == SQLITE_ROW)
            r.sql = text(q.get(), 0);
        q = db.prepare(QStringLiteral("SELECT name, upper(type), pk, dflt_value IS NULL FROM pragma_table_info('%1')")
                           .arg(table()));
        bool known = !r.sql.isEmpty();
        while (sqlite3_step(q.get()) == SQLITE_ROW) {
            r.columns << text(q.get(), 0);
            const QString type = text(q.get(), 1);
            if (sqlite3_column_int(q.get(), 2) == 1 && type == QLatin1String("INTEGER"))
                r.kinds.push_back(FieldKind::Key);
            else if (type == QLatin1String("TEXT"))
                r.kinds.push_back(FieldKind::Text);
            else if (type == QLatin1String("REAL"))
                r.kinds.push_back(FieldKind::Real);
            else
                known = false;
            // A default would fill a field that was not given: not worked out here.
            known = known && sqlite3_column_int(q.get(), 3) == 1;
        }
        if (!known)
            r.kinds.clear();
    } catch (const Error &) {
        r.kinds.clear(); // without a reference every record stored is read back: slower, never wrong
    }
    return r;
}

// A field named in a CHECK, as SQL writes it: a bare word or in double quotes.
constexpr const char *fieldPattern = R"~(("(?:[^"]|"")+"|\w+))~";

QString unquoted(const QString &name)
{
    return name.startsWith(u'"') ? name.mid(1, name.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""))
                                 : name;
}

QRegularExpression pattern(const char *form)
{
    return QRegularExpression(QString::fromLatin1(form).replace(QStringLiteral("FIELD"), QLatin1String(fieldPattern)));
}

} // namespace

QStringList checkFields(Connection &db)
{
    const QString &path = db.path();
    Statement q = db.prepare(QStringLiteral("SELECT name, type FROM pragma_table_info('%1')").arg(table()));
    QStringList columns;
    QHash<QString, QString> types;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        columns << text(q.get(), 0);
        types.insert(columns.last(), text(q.get(), 1));
    }
    if (rc != SQLITE_DONE)
        throw db.error(rc);
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
    return columns;
}

bool probeZeroLengthRefusal(Connection &db, bool wait)
{
    std::optional<BusyTimeout> noWait;
    if (!wait)
        noWait.emplace(db, 0);
    // Outside a run the probe is a transaction of its own that is never
    // committed: committing nothing would still wait for every reader.
    Transaction probe(db, db.inTransaction() ? Transaction::Kind::Savepoint : Transaction::Kind::Deferred);
    QString accepted;
    bool locked = false;
    for (int i = 0; i < schema::requiredTextFields && accepted.isEmpty() && !locked; ++i) {
        const QString &f = schema::fieldNames()[i];
        try {
            db.exec(QStringLiteral("INSERT INTO %1(\"%2\") VALUES('')").arg(table(), f));
            accepted = f;
        } catch (const Error &e) {
            // Refused as it should be, or by another rule of the table: nothing learnt either way.
            if (e.number() == err::FileInUse)
                locked = true;
            else if (e.number() != err::ZeroLengthString && e.number() != err::Reserved)
                throw;
        }
    }
    probe.rollback();
    if (locked)
        return false;
    if (!accepted.isEmpty())
        throw Error(err::BadDefinition, QStringLiteral("The field '%2' of table '%3' in '%1' accepts zero-length text; "
                                                       "the end of a report could not be recognised.")
                                            .arg(db.path(), accepted, table()));
    return true;
}

QString encoding(Connection &db)
{
    Statement q = db.prepare(QStringLiteral("PRAGMA encoding"));
    return sqlite3_step(q.get()) == SQLITE_ROW ? text(q.get(), 0) : QString();
}

std::vector<FieldKind> storedAsBound(Connection &db, const QStringList &columns)
{
    static const Reference reference = readReference(schema::createStatement());
    // Same fields, same kinds: only the text differs.
    static const QString strictSql = readReference(schema::strictCreateStatement()).sql;
    static const QString typeofSql = readReference(schema::typeofCreateStatement()).sql;
    if (reference.kinds.empty() || columns != reference.columns)
        return {};
    // Bound in the file's own encoding (utf8text.h), text reads back as it was; in UTF-16be it would be converted.
    if (const QString e = encoding(db); e != QLatin1String("UTF-16le") && e != QLatin1String("UTF-8"))
        return {};
    // A trigger anywhere may write to ovrekson; only the table's own text tells its rules.
    Statement q = db.prepare(
        QStringLiteral("SELECT type, sql FROM sqlite_master WHERE type = 'trigger' OR (type = 'table' AND name = '%1')")
            .arg(table()));
    int tables = 0;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        const QString sql = text(q.get(), 1);
        if (text(q.get(), 0) != QLatin1String("table")
            || (sql != reference.sql && sql != strictSql && sql != typeofSql))
            return {};
        ++tables;
    }
    if (rc != SQLITE_DONE)
        throw db.error(rc);
    return tables == 1 ? reference.kinds : std::vector<FieldKind>();
}

std::optional<std::vector<ZeroLengthCheck>> zeroLengthChecks(Connection &db, const QStringList &columns,
                                                             const std::vector<FieldKind> &kinds)
{
    Statement q =
        db.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = '%1'").arg(table()));
    if (sqlite3_step(q.get()) != SQLITE_ROW)
        return std::nullopt;
    const QString sql = text(q.get(), 0);
    // Each form a CHECK may take, and the kind of field it may stand on; capture 1 is the field.
    static const std::vector<std::pair<QRegularExpression, FieldKind>> typeForms = {
        {pattern(R"~(CHECK\s*\(\s*FIELD\s*<\s*x''\s*\))~"), FieldKind::Text},
        {pattern(R"~(CHECK\s*\(\s*typeof\(FIELD\)\s*=\s*'text'\s+OR\s+\1\s+IS\s+NULL\s*\))~"), FieldKind::Text},
        {pattern(R"~(CHECK\s*\(\s*FIELD\s*<\s*''\s*\))~"), FieldKind::Real},
        {pattern(
             R"~(CHECK\s*\(\s*typeof\(FIELD\)\s*=\s*'real'\s+OR\s+typeof\(\1\)\s*=\s*'integer'\s+OR\s+\1\s+IS\s+NULL\s*\))~"),
         FieldKind::Real},
    };
    static const QRegularExpression zeroForm =
        pattern(R"~(CONSTRAINT\s+"((?:[^"]|"")+)"\s+CHECK\s*\(\s*FIELD\s*<>\s*''\s*\))~");
    static const QRegularExpression anyCheck(QStringLiteral("\\bCHECK\\b"), QRegularExpression::CaseInsensitiveOption);
    const auto kindOf = [&](const QString &field) {
        const qsizetype i = columns.indexOf(unquoted(field));
        return i < 0 || size_t(i) >= kinds.size() ? std::optional<FieldKind>() : kinds[size_t(i)];
    };
    qsizetype known = 0;
    for (const auto &[form, kind] : typeForms)
        for (auto m = form.globalMatch(sql); m.hasNext(); ++known)
            if (kindOf(m.next().captured(1)) != kind)
                return std::nullopt;
    std::vector<ZeroLengthCheck> checks;
    for (auto m = zeroForm.globalMatch(sql); m.hasNext();) {
        const QRegularExpressionMatch c = m.next();
        if (kindOf(c.captured(2)) != FieldKind::Text)
            return std::nullopt;
        checks.push_back({int(columns.indexOf(unquoted(c.captured(2)))), unquoted(u'"' + c.captured(1) + u'"')});
    }
    // A CHECK of any other form is SQLite's to decide.
    if (sql.count(anyCheck) != known + qsizetype(checks.size()))
        return std::nullopt;
    return checks;
}

} // namespace zefto::sqlite::definition
