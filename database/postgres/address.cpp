#include "address.h"

#include <QRegularExpression>
#include <QUrl>

namespace zefto::postgres {
namespace {

const QString schemes[] = {QStringLiteral("postgresql://"), QStringLiteral("postgres://")};

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

// Sets a field that the query may also carry; anything else stays an option.
bool takeParameter(Address &a, const QString &key, const QString &value, QString *problem)
{
    if (key == QLatin1String("host"))
        a.host = value;
    else if (key == QLatin1String("user"))
        a.user = value;
    else if (key == QLatin1String("password"))
        a.password = value;
    else if (key == QLatin1String("dbname"))
        a.dbname = value;
    else if (key == QLatin1String("port")) {
        if (!validPort(value, &a.port)) {
            *problem = QStringLiteral("the port '%1' is not a number from 1 to 65535").arg(value);
            return false;
        }
    } else {
        static const QRegularExpression name(QStringLiteral("^[a-z_]+$"));
        if (!name.match(key).hasMatch()) {
            *problem = QStringLiteral("'%1' is not a connection parameter").arg(key);
            return false;
        }
        a.options.append({key, value});
    }
    return true;
}

// The text with the password of the user part and any password parameter left out.
QString withoutPassword(const QString &scheme, QString authority, const QString &path, const QString &query)
{
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const qsizetype colon = authority.left(at).indexOf(u':');
        if (colon >= 0)
            authority.remove(colon, at - colon);
    }
    QStringList kept;
    for (const QString &pair : query.split(u'&', Qt::SkipEmptyParts))
        if (decoded(pair.section(u'=', 0, 0)) != QLatin1String("password"))
            kept << pair;
    QString out = scheme + authority + path;
    if (!kept.isEmpty())
        out += u'?' + kept.join(u'&');
    return out;
}

} // namespace

bool isPostgresAddress(const QString &name)
{
    for (const QString &s : schemes)
        if (name.startsWith(s, Qt::CaseInsensitive))
            return true;
    return false;
}

std::optional<Address> Address::parse(const QString &uri, QString *problem)
{
    QString scheme;
    for (const QString &s : schemes)
        if (uri.startsWith(s, Qt::CaseInsensitive))
            scheme = uri.left(s.size());
    if (scheme.isEmpty()) {
        *problem = QStringLiteral("it does not start with postgresql://");
        return std::nullopt;
    }
    const QString rest = uri.mid(scheme.size());
    const qsizetype queryAt = rest.indexOf(u'?');
    const QString beforeQuery = queryAt < 0 ? rest : rest.left(queryAt);
    const QString query = queryAt < 0 ? QString() : rest.mid(queryAt + 1);
    const qsizetype slash = beforeQuery.indexOf(u'/');
    const QString authority = slash < 0 ? beforeQuery : beforeQuery.left(slash);
    const QString path = slash < 0 ? QString() : beforeQuery.mid(slash);

    Address a;
    QString hostPort = authority;
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        hostPort = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        a.user = decoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            a.password = decoded(userInfo.mid(colon + 1));
    }
    // An IPv6 address is bracketed, so its colons are not the port's.
    const qsizetype bracket = hostPort.lastIndexOf(u']');
    const qsizetype portColon = hostPort.lastIndexOf(u':');
    if (portColon >= 0 && portColon > bracket) {
        if (!validPort(hostPort.mid(portColon + 1), &a.port)) {
            *problem = QStringLiteral("the port '%1' is not a number from 1 to 65535").arg(hostPort.mid(portColon + 1));
            return std::nullopt;
        }
        hostPort.truncate(portColon);
    }
    if (hostPort.startsWith(u'[') && hostPort.endsWith(u']'))
        hostPort = hostPort.mid(1, hostPort.size() - 2);
    a.host = decoded(hostPort);
    a.dbname = decoded(path.mid(1));
    if (a.dbname.contains(u'/')) {
        *problem = QStringLiteral("a database name has no '/'");
        return std::nullopt;
    }
    for (const QString &pair : query.split(u'&', Qt::SkipEmptyParts)) {
        if (!pair.contains(u'=')) {
            *problem = QStringLiteral("the parameter '%1' has no value").arg(decoded(pair));
            return std::nullopt;
        }
        if (!takeParameter(a, decoded(pair.section(u'=', 0, 0)), decoded(pair.section(u'=', 1)), problem))
            return std::nullopt;
    }
    a.shown = withoutPassword(scheme, authority, path, query);
    return a;
}

} // namespace zefto::postgres
