#include "recordset.h"

#include "connection.h"
#include "error.h"
#include "sqliteerror.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace zefto {
namespace {

QVariant toVariant(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return QVariant(v.asText());
    case Value::Kind::Double: return QVariant(v.asDouble());
    default: return QVariant(); // bound as NULL
    }
}

Value fromVariant(const QVariant &v)
{
    if (v.isNull())
        return Value::null();
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return Value::number(v.toDouble());
    default:
        return Value::text(v.toString());
    }
}

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
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
    const int i = live().columns.indexOf(name);
    if (i < 0)
        throw Error(err::ItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(name));
    return i;
}

void Recordset::moveLast()
{
    Connection &c = live();
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM ovrekson ORDER BY rowid DESC LIMIT 1")))
        throw sqliteError(q.lastError(), c.path);
    if (!q.next())
        throw Error::of(err::NoCurrentRecord);
    const QSqlRecord r = q.record();
    m_current.assign(c.columns.size(), Value::null());
    for (int i = 0; i < c.columns.size(); ++i)
        m_current[i] = fromVariant(q.value(r.indexOf(c.columns[i])));
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
    QString key;
    key.reserve(int(m_set.size()));
    for (bool b : m_set)
        key += b ? u'1' : u'0';
    auto it = c.inserts.find(key);
    if (it == c.inserts.end()) {
        QStringList cols, marks;
        for (size_t i = 0; i < m_set.size(); ++i)
            if (m_set[i]) {
                cols << quoted(c.columns[int(i)]);
                marks << QStringLiteral("?");
            }
        QSqlQuery q(c.db());
        const QString sql = cols.isEmpty()
            ? QStringLiteral("INSERT INTO ovrekson DEFAULT VALUES")
            : QStringLiteral("INSERT INTO ovrekson(%1) VALUES(%2)").arg(cols.join(u','), marks.join(u','));
        if (!q.prepare(sql))
            throw sqliteError(q.lastError(), c.path);
        it = c.inserts.insert(key, q);
    }
    QSqlQuery &q = *it;
    int b = 0;
    for (size_t i = 0; i < m_set.size(); ++i)
        if (m_set[i])
            q.bindValue(b++, toVariant(m_edit[i]));
    c.begin();
    if (!q.exec()) {
        const Error e = sqliteError(q.lastError(), c.path);
        c.noteFailure();
        throw e;
    }
    ++c.pending;
    ++c.stored;
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
