#include "recordset.h"

#include "connection.h"
#include "error.h"
#include "schema.h"
#include "sqliteerror.h"

#include <sqlite3.h>

namespace zefto {
namespace {

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

Value columnValue(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL: return Value::null();
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return Value::number(sqlite3_column_double(stmt, i));
    default: {
        const void *text = sqlite3_column_text16(stmt, i);
        const int bytes = sqlite3_column_bytes16(stmt, i);
        return Value::text(QString(static_cast<const QChar *>(text), bytes / 2));
    }
    }
}

int bind(sqlite3_stmt *stmt, int i, const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text:
        // The value outlives the step that uses it, so SQLite need not copy it.
        return sqlite3_bind_text16(stmt, i, v.asText().utf16(), int(v.asText().size() * 2), SQLITE_STATIC);
    case Value::Kind::Double: return sqlite3_bind_double(stmt, i, v.asDouble());
    default: return sqlite3_bind_null(stmt, i);
    }
}

} // namespace

Recordset::Recordset(std::shared_ptr<Connection> conn) : m_conn(std::move(conn)), m_open(true) {}

bool Recordset::isOpen() const
{
    return m_open && m_conn && m_conn->open;
}

Connection &Recordset::live() const
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    return *m_conn;
}

int Recordset::column(const QString &name) const
{
    // Fields are mostly set in table order: try the one after the last before hashing.
    const Connection &c = live();
    const int next = m_lastColumn + 1;
    if (next < c.columns.size() && c.columns[next] == name)
        return m_lastColumn = next;
    const int i = c.columnIndex.value(name, -1);
    if (i < 0)
        throw Error(err::ItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(name));
    return m_lastColumn = i;
}

void Recordset::moveLast()
{
    Connection &c = live();
    if (!c.lastRow)
        c.lastRow = c.prepare(QStringLiteral("SELECT * FROM %1 ORDER BY rowid DESC LIMIT 1").arg(QLatin1String(schema::tableName)));
    sqlite3_stmt *q = c.lastRow;
    const int rc = sqlite3_step(q);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(q);
        throw Error::of(err::NoCurrentRecord);
    }
    if (rc != SQLITE_ROW) {
        sqlite3_reset(q);
        throw c.error(rc);
    }
    // SELECT * yields the columns in table order, the order of c.columns.
    const int n = std::min<int>(sqlite3_column_count(q), int(c.columns.size()));
    m_current.assign(c.columns.size(), Value::null());
    for (int i = 0; i < n; ++i)
        m_current[i] = columnValue(q, i);
    sqlite3_reset(q);
}

Value Recordset::field(const QString &name) const
{
    const int i = column(name);
    if (m_current.empty())
        throw Error::of(err::NoCurrentRecord);
    return m_current[i];
}

void Recordset::addNew()
{
    Connection &c = live();
    m_edit.assign(c.columns.size(), Value());
    m_set.assign(c.columns.size(), false);
    m_editing = true;
}

void Recordset::setField(const QString &name, const Value &v)
{
    const int i = column(name);
    if (!m_editing)
        throw Error(err::UpdateWithoutAddNew, QStringLiteral("Update or field setting without AddNew."));
    m_edit[i] = v;
    m_set[i] = true;
}

void Recordset::update()
{
    Connection &c = live();
    if (!m_editing)
        throw Error(err::UpdateWithoutAddNew, QStringLiteral("Update or field setting without AddNew."));
    // One prepared statement per set of fields, so unset fields keep the table's defaults.
    if (!m_insert || m_set != m_insertSet) {
        QString key(qsizetype(m_set.size()), u'0');
        for (size_t i = 0; i < m_set.size(); ++i)
            if (m_set[i])
                key[i] = u'1';
        m_insert = c.inserts.value(key);
        if (!m_insert) {
            QStringList cols, marks;
            for (size_t i = 0; i < m_set.size(); ++i)
                if (m_set[i]) {
                    cols << quoted(c.columns[int(i)]);
                    marks << QStringLiteral("?");
                }
            m_insert = c.prepare(cols.isEmpty() ? QStringLiteral("INSERT INTO ovrekson DEFAULT VALUES")
                                                : QStringLiteral("INSERT INTO ovrekson(%1) VALUES(%2)")
                                                      .arg(cols.join(u','), marks.join(u',')));
            c.inserts.insert(key, m_insert);
        }
        m_insertSet = m_set;
    }
    sqlite3_stmt *q = m_insert;
    int b = 0;
    for (size_t i = 0; i < m_set.size(); ++i)
        if (m_set[i] && bind(q, ++b, m_edit[i]) != SQLITE_OK)
            throw c.error(sqlite3_errcode(c.handle));
    c.begin();
    const int rc = sqlite3_step(q);
    sqlite3_reset(q);
    sqlite3_clear_bindings(q);
    if (rc != SQLITE_DONE) {
        const Error e = c.error(rc);
        c.noteFailure();
        throw e;
    }
    ++c.pending;
    ++c.stored;
    c.runLastKey = sqlite3_last_insert_rowid(c.handle);
    if (c.runFirstKey == 0)
        c.runFirstKey = c.runLastKey;
    m_editing = false;
}

void Recordset::close()
{
    Connection &c = live();
    m_open = false;
    m_editing = false;
    m_current.clear();
    c.commit();
}

} // namespace zefto
