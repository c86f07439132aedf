#include "address.h"

#include <QRegularExpression>
#include <QUrl>
#include <vector>

namespace zefto::postgres {
namespace {

const QString schemes[] = {QStringLiteral("postgresql://"), QStringLiteral("postgres://")};

// Told when a reason cannot quote the part that is wrong because it may hold a password.
const QString encodingHint = QStringLiteral(
    " (a password holding '@', '/', '?' or '&' must be written percent-encoded, as %40, %2F, %3F or %26, "
    "or be kept in ~/.pgpass)");

QString decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

bool validPort(const QString &text, int *port)
{
    bool ok = false;
    const int p = text.toInt(&ok);
    if (!ok || p < 1 || p > 65535 || text.startsWith(u'+'))
        return false;
    *port = p;
    return true;
}

// Which characters of an address may belong to a password. Worked out on the
// raw text before it is read, so that no message about the address, valid or
// not, shows them: everything from the first ':' after the scheme to the last
// '@', and the value of every password parameter up to the next parameter
// that has a value (an unencoded '&' may sit inside the password).
class Secrets {
public:
    // With `suspect`, everything that may be a password; else nothing yet (hide() marks it).
    explicit Secrets(const QString &uri, bool suspect = true) : m_uri(uri), m_hidden(size_t(uri.size()), false)
    {
        const qsizetype start = uri.indexOf(QLatin1String("://"));
        if (start < 0 || !suspect)
            return;
        const qsizetype from = start + 3;
        const qsizetype at = uri.lastIndexOf(u'@');
        qsizetype queryFrom = from;
        if (at >= from) {
            if (const qsizetype colon = uri.indexOf(u':', from); colon >= 0 && colon < at)
                hide(colon, at);
            queryFrom = at;
        }
        const qsizetype question = uri.indexOf(u'?', queryFrom);
        if (question < 0)
            return;
        bool inPassword = false;
        for (qsizetype i = question + 1; i <= uri.size();) {
            qsizetype amp = uri.indexOf(u'&', i);
            if (amp < 0)
                amp = uri.size();
            const QString pair = uri.mid(i, amp - i);
            if (pair.contains(u'='))
                inPassword = decoded(pair.section(u'=', 0, 0)) == QLatin1String("password");
            if (inPassword)
                hideParameter(i, amp);
            i = amp + 1;
        }
    }

    void hide(qsizetype from, qsizetype to)
    {
        for (qsizetype i = from; i < to; ++i)
            m_hidden[size_t(i)] = true;
    }
    // The parameter at [from, to) with one separator: the '&' before it, or after it when it is the first.
    void hideParameter(qsizetype from, qsizetype to)
    {
        if (m_uri[from - 1] == u'&')
            hide(from - 1, to);
        else
            hide(from, std::min(to + 1, m_uri.size()));
    }
    // Whether any of these characters may belong to a password.
    bool hides(qsizetype from, qsizetype n) const
    {
        for (qsizetype i = from; i < from + n && i < m_uri.size(); ++i)
            if (m_hidden[size_t(i)])
                return true;
        return false;
    }
    // The address without them.
    QString shown() const
    {
        QString out;
        for (qsizetype i = 0; i < m_uri.size(); ++i)
            if (!m_hidden[size_t(i)])
                out += m_uri[i];
        if (out.endsWith(u'?'))
            out.chop(1);
        return out;
    }
    // Whether `other` hides everything this one does.
    bool coveredBy(const Secrets &other) const
    {
        for (size_t i = 0; i < m_hidden.size(); ++i)
            if (m_hidden[i] && !other.m_hidden[i])
                return false;
        return true;
    }

private:
    const QString &m_uri;
    std::vector<bool> m_hidden;
};

// Reads an address in libpq's way; every reason quotes only what cannot be a password.
class Parser {
public:
    Parser(const QString &uri, qsizetype schemeLength)
        : m_uri(uri), m_suspected(uri), m_read(uri, false), m_start(schemeLength)
    {}

    std::optional<Address> parse(QString *problem)
    {
        const qsizetype end = m_uri.size();
        qsizetype queryAt = m_uri.indexOf(u'?', m_start);
        if (queryAt < 0)
            queryAt = end;
        qsizetype slash = m_uri.indexOf(u'/', m_start);
        if (slash < 0 || slash > queryAt)
            slash = queryAt;
        qsizetype hostAt = m_start;
        const qsizetype at = m_uri.lastIndexOf(u'@', slash - 1);
        if (at >= m_start) {
            const qsizetype colon = m_uri.indexOf(u':', m_start);
            const bool withPassword = colon >= 0 && colon < at;
            m_a.user = decoded(m_uri.mid(m_start, (withPassword ? colon : at) - m_start));
            if (withPassword) {
                m_a.password = decoded(m_uri.mid(colon + 1, at - colon - 1));
                m_read.hide(colon, at);
            }
            hostAt = at + 1;
        }
        if (!readHost(hostAt, slash, problem))
            return std::nullopt;
        if (slash < queryAt) {
            m_a.dbname = decoded(m_uri.mid(slash + 1, queryAt - slash - 1));
            if (m_a.dbname.contains(u'/'))
                return refuse(problem, QStringLiteral("a database name has no '/'"));
        }
        for (qsizetype i = queryAt + 1; i < end;) {
            qsizetype amp = m_uri.indexOf(u'&', i);
            if (amp < 0)
                amp = end;
            if (amp > i && !readParameter(i, amp, problem))
                return std::nullopt;
            i = amp + 1;
        }
        // Read otherwise than it may have been meant, a password would be shown or sent as something else.
        if (!m_suspected.coveredBy(m_read))
            return refuse(problem, QStringLiteral("it holds '@' after the host") + encodingHint);
        m_a.shown = m_suspected.shown();
        return m_a;
    }

private:
    std::nullopt_t refuse(QString *problem, const QString &reason)
    {
        *problem = reason;
        return std::nullopt;
    }

    // The reason with the text at [from, from + n) quoted, or without it when it may be a password.
    QString quoting(const QString &reason, const QString &withheld, qsizetype from, qsizetype n, const QString &text)
    {
        return m_suspected.hides(from, n) ? withheld + encodingHint : reason.arg(text);
    }

    bool readHost(qsizetype from, qsizetype to, QString *problem)
    {
        // An IPv6 address is bracketed, so its colons are not the port's.
        const qsizetype bracket = m_uri.lastIndexOf(u']', to - 1);
        const qsizetype colon = m_uri.lastIndexOf(u':', to - 1);
        qsizetype hostEnd = to;
        if (colon >= from && (bracket < from || colon > bracket)) {
            const QString port = m_uri.mid(colon + 1, to - colon - 1);
            if (!validPort(port, &m_a.port)) {
                *problem =
                    quoting(QStringLiteral("the port '%1' is not a number from 1 to 65535"),
                            QStringLiteral("the port is not a number from 1 to 65535"), colon + 1, port.size(), port);
                return false;
            }
            hostEnd = colon;
        }
        QString host = m_uri.mid(from, hostEnd - from);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        m_a.host = decoded(host);
        return true;
    }

    bool readParameter(qsizetype from, qsizetype to, QString *problem)
    {
        const QString pair = m_uri.mid(from, to - from);
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0) {
            *problem = quoting(QStringLiteral("the parameter '%1' has no value"),
                               QStringLiteral("a parameter has no value"), from, pair.size(), decoded(pair));
            return false;
        }
        const QString key = decoded(pair.left(eq));
        const QString value = decoded(pair.mid(eq + 1));
        if (key == QLatin1String("password"))
            m_read.hideParameter(from, to);
        return takeParameter(key, value, from, eq, problem);
    }

    // Sets a field that the query may also carry; anything else stays an option.
    bool takeParameter(const QString &key, const QString &value, qsizetype from, qsizetype eq, QString *problem)
    {
        if (key == QLatin1String("host"))
            m_a.host = value;
        else if (key == QLatin1String("user"))
            m_a.user = value;
        else if (key == QLatin1String("password"))
            m_a.password = value;
        else if (key == QLatin1String("dbname"))
            m_a.dbname = value;
        else if (key == QLatin1String("port")) {
            if (!validPort(value, &m_a.port)) {
                *problem = quoting(QStringLiteral("the port '%1' is not a number from 1 to 65535"),
                                   QStringLiteral("the port is not a number from 1 to 65535"), from + eq + 1,
                                   value.size(), value);
                return false;
            }
        } else {
            static const QRegularExpression name(QStringLiteral("^[a-z_]+$"));
            if (!name.match(key).hasMatch()) {
                *problem = quoting(QStringLiteral("'%1' is not a connection parameter"),
                                   QStringLiteral("a parameter's name is not a connection parameter"), from, eq, key);
                return false;
            }
            m_a.options.append({key, value});
        }
        return true;
    }

    const QString &m_uri;
    Secrets m_suspected; // what may be a password, whatever the reading
    Secrets m_read;      // what this reading takes as a password
    qsizetype m_start;   // just after the scheme
    Address m_a;
};

} // namespace

bool isPostgresAddress(const QString &name)
{
    for (const QString &s : schemes)
        if (name.startsWith(s, Qt::CaseInsensitive))
            return true;
    return false;
}

QString withoutPassword(const QString &address)
{
    return Secrets(address).shown();
}

std::optional<Address> Address::parse(const QString &uri, QString *problem)
{
    qsizetype schemeLength = 0;
    for (const QString &s : schemes)
        if (uri.startsWith(s, Qt::CaseInsensitive))
            schemeLength = s.size();
    if (schemeLength == 0) {
        *problem = QStringLiteral("it does not start with postgresql://");
        return std::nullopt;
    }
    return Parser(uri, schemeLength).parse(problem);
}

} // namespace zefto::postgres
