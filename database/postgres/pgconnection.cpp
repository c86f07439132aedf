#include "pgconnection.h"

#include "libpq.h"

namespace zefto::postgres {
namespace {

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

// Server notices (a table that exists already, ...) are no news to the operator.
void ignoreNotice(void *, const char *)
{}

// A field of a ~/.pgpass line, its ':' and '\' escaped as libpq reads them.
QString pgpassField(const char *value)
{
    return QString::fromUtf8(value).replace(u'\\', QStringLiteral("\\\\")).replace(u':', QStringLiteral("\\:"));
}

Failure failureOf(PGconn *c, PGresult *r)
{
    Failure f{QString::fromLatin1(libpq().resultErrorField(r, PG_DIAG_SQLSTATE)),
              QString::fromUtf8(libpq().resultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)),
              libpq().status(c) != CONNECTION_OK};
    if (f.message.isEmpty())
        f.message = cleanMessage(QString::fromUtf8(libpq().errorMessage(c)), QString());
    return f;
}

QVariantList rowOf(const PGresult *r, int i)
{
    QVariantList row;
    for (int j = 0; j < libpq().nfields(r); ++j)
        row << (libpq().getisnull(r, i, j) ? QVariant() : QVariant(QString::fromUtf8(libpq().getvalue(r, i, j))));
    return row;
}

} // namespace

QString Connection::conninfo(int lockTimeoutMs) const
{
    QStringList info;
    const auto add = [&](const QString &key, const QString &value) {
        if (!value.isEmpty())
            info << key + u'=' + quotedValue(value);
    };
    add(QStringLiteral("host"), m_address.host);
    add(QStringLiteral("port"), m_address.port > 0 ? QString::number(m_address.port) : QString());
    add(QStringLiteral("user"), m_address.user);
    add(QStringLiteral("dbname"), m_address.dbname);
    add(QStringLiteral("password"), m_address.password);
    // Numbers come back as text: in their shortest exact form, whatever the server's default.
    QString serverOptions = QStringLiteral("-c lock_timeout=%1 -c extra_float_digits=3").arg(lockTimeoutMs);
    for (const auto &[key, value] : m_address.options) {
        if (key == QLatin1String("options"))
            serverOptions = value + u' ' + serverOptions;
        else if (key != QLatin1String("client_encoding"))
            add(key, value);
    }
    add(QStringLiteral("options"), serverOptions);
    // Told in the start-up message, so it costs no round trip; all our text is UTF-8.
    add(QStringLiteral("client_encoding"), QStringLiteral("UTF8"));
    if (!hasOption(m_address, "connect_timeout"))
        add(QStringLiteral("connect_timeout"),
            QStringLiteral("15")); // an office server that does not answer is told within seconds
    if (!hasOption(m_address, "application_name"))
        add(QStringLiteral("application_name"), QStringLiteral("zefto"));
    return info.join(u' ');
}

void Connection::open(int lockTimeoutMs)
{
    close();
    PGconn *c = libpq().connectdb(conninfo(lockTimeoutMs).toUtf8().constData());
    if (!c)
        throw Error(err::OutOfMemory, QStringLiteral("Out of memory while connecting to '%1'.").arg(name()));
    if (libpq().status(c) != CONNECTION_OK) {
        const QString why = refusal(c);
        libpq().finish(c);
        throw Error(err::ConnectionFailed, why);
    }
    libpq().setNoticeProcessor(c, ignoreNotice, nullptr);
    m_conn = c;
}

// Why the server would not take us; a missing password is told with the ~/.pgpass line that gives it.
QString Connection::refusal(PGconn *failed) const
{
    if (!libpq().connectionNeedsPassword(failed))
        return QStringLiteral("Cannot connect to the database server of '%1': %2.")
            .arg(name(), cleanMessage(QString::fromUtf8(libpq().errorMessage(failed)), QString()));
    // libpq looks a socket connection up under the host name localhost.
    const QString host = m_address.host.isEmpty() || m_address.host.startsWith(u'/')
                             ? QStringLiteral("localhost")
                             : pgpassField(libpq().host(failed));
    return QStringLiteral(
               "Cannot connect to the database server of '%1': the server asks for a password and none was "
               "given. Add this line, with the password, to ~/.pgpass (which only you may read: chmod 600 "
               "~/.pgpass):\n%2:%3:%4:%5:PASSWORD")
        .arg(name(), host, pgpassField(libpq().port(failed)), pgpassField(libpq().db(failed)),
             pgpassField(libpq().user(failed)));
}

void Connection::close()
{
    if (m_conn)
        libpq().finish(std::exchange(m_conn, nullptr));
}

bool Connection::alive() const
{
    return m_conn && libpq().status(m_conn) == CONNECTION_OK;
}

QString Connection::literal(const QString &text)
{
    // An E'' string reads the same whether standard_conforming_strings is on or off.
    QString out = text;
    out.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("E'") + out + u'\'';
}

std::optional<Failure> Connection::tryBatch(const QString &sql, Batch *result,
                                            const std::function<void(const QVariantList &)> *each)
{
    if (!m_conn)
        throw Error::of(err::ObjectInvalid);
    *result = Batch();
    if (!libpq().sendQuery(m_conn, sql.toUtf8().constData()))
        return Failure{QString(), cleanMessage(QString::fromUtf8(libpq().errorMessage(m_conn)), QString()), !alive()};
    std::optional<Failure> failure;
    std::exception_ptr thrown; // by `each`: told once every result is read, so the session stays usable
    while (PGresult *r = libpq().getResult(m_conn)) {
        const ExecStatusType status = libpq().resultStatus(r);
        if (status == PGRES_TUPLES_OK) {
            Rows rows;
            for (int i = 0; i < libpq().ntuples(r) && !thrown; ++i) {
                if (!each)
                    rows << rowOf(r, i);
                else
                    try {
                        (*each)(rowOf(r, i));
                    } catch (...) {
                        thrown = std::current_exception();
                    }
            }
            result->rows.push_back(rows);
        } else if (status == PGRES_COPY_IN) {
            libpq().clear(r);
            result->copying = true;
            return std::nullopt; // the session now waits for the COPY's data
        } else if (status != PGRES_COMMAND_OK && !failure) {
            failure = failureOf(m_conn, r);
        }
        libpq().clear(r);
    }
    if (thrown)
        std::rethrow_exception(thrown);
    if (failure)
        failure->connectionLost = !alive();
    return failure;
}

bool Connection::notified()
{
    if (!m_conn)
        throw Error::of(err::ObjectInvalid);
    if (!libpq().consumeInput(m_conn))
        throw error(Failure{QString(), cleanMessage(QString::fromUtf8(libpq().errorMessage(m_conn)), QString()),
                            !alive()});
    bool any = false;
    while (PGnotify *n = libpq().notifies(m_conn)) {
        any = true;
        libpq().freemem(n);
    }
    return any;
}

Batch Connection::batch(const QString &sql)
{
    Batch b;
    if (const std::optional<Failure> f = tryBatch(sql, &b))
        throw error(*f);
    return b;
}

std::optional<Failure> Connection::tryExec(const QString &sql)
{
    Batch b;
    return tryBatch(sql, &b);
}

Rows Connection::exec(const QString &sql)
{
    Batch b = batch(sql);
    return b.rows.empty() ? Rows() : b.rows.front();
}

Rows Connection::exec(const QString &sql, const QList<QVariant> &params)
{
    if (params.isEmpty())
        return exec(sql);
    if (!m_conn)
        throw Error::of(err::ObjectInvalid);
    // libpq numbers its placeholders; a '?' inside a quoted literal is text.
    QString numbered;
    int n = 0;
    bool quoted = false;
    for (const QChar c : sql) {
        if (c == u'\'')
            quoted = !quoted;
        numbered += (c == u'?' && !quoted) ? QStringLiteral("$%1").arg(++n) : QString(c);
    }
    Q_ASSERT(n == params.size());
    std::vector<QByteArray> values;
    std::vector<const char *> pointers;
    for (const QVariant &v : params)
        values.push_back(v.isNull() ? QByteArray() : v.toString().toUtf8());
    for (qsizetype i = 0; i < params.size(); ++i)
        pointers.push_back(params[i].isNull() ? nullptr : values[size_t(i)].constData());
    PGresult *r = libpq().execParams(m_conn, numbered.toUtf8().constData(), int(pointers.size()), nullptr,
                                     pointers.data(), nullptr, nullptr, 0);
    std::optional<Failure> failure;
    Rows rows;
    if (libpq().resultStatus(r) == PGRES_TUPLES_OK)
        for (int i = 0; i < libpq().ntuples(r); ++i)
            rows << rowOf(r, i);
    else if (libpq().resultStatus(r) != PGRES_COMMAND_OK)
        failure = failureOf(m_conn, r);
    libpq().clear(r);
    if (failure)
        throw error(*failure);
    return rows;
}

void Connection::eachRow(const QString &sql, const std::function<void(const QVariantList &)> &each)
{
    Batch b;
    if (const std::optional<Failure> f = tryBatch(sql, &b, &each))
        throw error(*f);
}

} // namespace zefto::postgres
