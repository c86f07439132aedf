#include "location.h"

#include "error.h"
#include "postgres/address.h"

#include <QDir>
#include <QRegularExpression>

namespace zefto::location {

QString chosen(const std::optional<QString> &option)
{
    if (option)
        return *option;
    const QString fromEnvironment = qEnvironmentVariable(environmentVariable);
    return fromEnvironment.isEmpty() ? QString::fromLatin1(defaultFileName) : fromEnvironment;
}

bool isServerAddress(const QString &name)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(name).hasMatch();
}

QString shown(const QString &name)
{
    if (!isServerAddress(name))
        return name;
    return postgres::withoutPassword(name);
}

QString resolved(const QString &name)
{
    if (postgres::isPostgresAddress(name)) {
        QString problem;
        if (!postgres::Address::parse(name, &problem))
            throw Error(
                err::CannotOpen,
                QStringLiteral("'%1' is not a PostgreSQL address Zefto can use: %2.").arg(shown(name), problem));
        return name;
    }
    if (isServerAddress(name))
        throw Error(err::CannotOpen,
                    QStringLiteral("'%1' is a database server address of a kind Zefto cannot use. Name a database file "
                                   "(default: %2) or a PostgreSQL address (postgresql://user@host/database).")
                        .arg(shown(name), QString::fromLatin1(defaultFileName)));
    if (name.isEmpty())
        throw Error(err::CannotOpen, QStringLiteral("No database was named."));
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

} // namespace zefto::location
