#include "pgconnection.h"

#include "libpq.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

namespace zefto::postgres {
namespace {

QAtomicInteger<int> connections;

// A value of a libpq keyword=value list, quoted as libpq reads it.
QString quotedValue(QString v)
{
    v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + v + u'\'';
}

bool hasOption(const Address &a, const char *key)
{
    for (const auto &[k, v] : a.options)
        if (k == QLatin1String(key))
            return true;
    return false;
}

} // namespace

Connection::Connection(Address address)
    : m_address(std::move(address)),
      m_connectionName(QStringLiteral("zefto-postgres-%1").arg(connections.fetchAndAddRelaxed(1)))
{
}

Connection::~Connection()
{
    close();
}

void Connection::open(int lockTimeoutMs)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (!db.isValid())
        throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': the PostgreSQL driver of Qt "
                                                    "(libqt6sql6-psql) is not installed.")
                                         .arg(name()));
    db.setHostName(m_address.host);
    db.setPort(m_address.port);
    db.setUserName(m_address.user);
    db.setPassword(m_address.password);
    db.setDatabaseName(m_address.dbname);
    QStringList options;
    QString serverOptions = QStringLiteral("-c lock_timeout=%1").arg(lockTimeoutMs);
    for (const auto &[key, value] : m_address.options) {
        // The driver turns ';' into a separator: such a value cannot be passed on whole.
        if (value.contains(u';'))
            throw Error(err::CannotOpen, QStringLiteral("Cannot open the database '%1': the value of '%2' contains "
                                                        "';', which the driver cannot pass on.")
                                             .arg(name(), key));
        if (key == QLatin1String("options"))
            serverOptions = value + u' ' + serverOptions;
        else
            options << key + u'=' + quotedValue(value);
    }
    options << QStringLiteral("options=") + quotedValue(serverOptions);
    if (!hasOption(m_address, "connect_timeout"))
        options << QStringLiteral("connect_timeout=15"); // an office server that does not answer is told within seconds
    if (!hasOption(m_address, "application_name"))
        options << QStringLiteral("application_name=zefto");
    db.setConnectOptions(options.join(u';'));
    if (!db.open()) {
        const QSqlError e = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw Error(err::ConnectionFailed, QStringLiteral("Cannot connect to the database server of '%1': %2.")
                                               .arg(name(), cleanMessage(e.databaseText(), e.nativeErrorCode())));
    }
}

void Connection::close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

pg_conn *Connection::handle() const
{
    if (!isOpen())
        return nullptr;
    const QVariant v = QSqlDatabase::database(m_connectionName, false).driver()->handle();
    return v.isValid() ? *static_cast<PGconn *const *>(v.constData()) : nullptr;
}

bool Connection::alive() const
{
    PGconn *c = handle();
    return c && libpq().status(c) == CONNECTION_OK;
}

Failure Connection::failureOf(const QSqlQuery &q) const
{
    const QSqlError e = q.lastError();
    return {e.nativeErrorCode(), cleanMessage(e.databaseText(), e.nativeErrorCode()), !alive()};
}

std::optional<Failure> Connection::tryExec(const QString &sql, QSqlQuery *result)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.exec(sql))
        return failureOf(q);
    if (result)
        *result = std::move(q);
    return std::nullopt;
}

QSqlQuery Connection::exec(const QString &sql, const QList<QVariant> &params)
{
    if (!isOpen())
        throw Error::of(err::ObjectInvalid);
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.prepare(sql))
        throw error(failureOf(q));
    for (const QVariant &v : params)
        q.addBindValue(v);
    if (!q.exec())
        throw error(failureOf(q));
    return q;
}

QSqlQuery Connection::exec(const QString &sql)
{
    QSqlQuery q;
    if (const std::optional<Failure> f = tryExec(sql, &q))
        throw error(*f);
    return q;
}

} // namespace zefto::postgres
