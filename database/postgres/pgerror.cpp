#include "pgerror.h"

#include <QRegularExpression>

namespace zefto::postgres {

QString cleanMessage(QString message, const QString &sqlstate)
{
    if (!sqlstate.isEmpty() && message.endsWith(u'(' + sqlstate + u')'))
        message.chop(sqlstate.size() + 2);
    static const QRegularExpression severity(QStringLiteral("\\b(ERROR|FATAL|PANIC):\\s+"));
    message.replace(severity, QString());
    QStringList lines = message.split(u'\n', Qt::SkipEmptyParts);
    for (QString &l : lines)
        l = l.trimmed();
    // The statement's text and the caret under it say nothing to the operator.
    lines.removeIf([](const QString &l) { return l.isEmpty() || l.startsWith(QLatin1String("LINE ")) || l == u'^'; });
    QString joined = lines.join(QStringLiteral("; "));
    // Callers end the sentence themselves.
    while (joined.endsWith(u'.') || joined.endsWith(u'?'))
        joined.chop(1);
    return joined;
}

Error serverError(const Failure &f, const QString &name)
{
    const QString &s = f.sqlstate;
    // A server that shut down or crashed ends the session with one of these before closing it.
    const bool serverGone = s.startsWith(QLatin1String("08")) || s == QLatin1String("57P01")
                            || s == QLatin1String("57P02") || s == QLatin1String("57P03");
    if (f.connectionLost || serverGone)
        return {err::ConnectionFailed,
                QStringLiteral("The connection to the database server of '%1' was lost: %2.").arg(name, f.message)};
    if (s == QLatin1String("55P03"))
        return {err::FileInUse,
                QStringLiteral("The database '%1' is in use by another program, which holds it locked.").arg(name)};
    if (s == QLatin1String("53100"))
        return {err::DiskFull, QStringLiteral("The database '%1' is full: %2.").arg(name, f.message)};
    if (s == QLatin1String("42501"))
        return {
            err::ReadOnly,
            QStringLiteral("Cannot update. The database '%1' does not let this user write: %2.").arg(name, f.message)};
    if (s == QLatin1String("42P01"))
        return {err::TableNotFound, QStringLiteral("The database '%1' has no table: %2.").arg(name, f.message)};
    if (s.startsWith(QLatin1String("23")))
        return {err::Reserved, QStringLiteral("The server refused a record of '%1': %2.").arg(name, f.message)};
    return {err::Reserved, QStringLiteral("Database error in '%1': %2.").arg(name, f.message)};
}

} // namespace zefto::postgres
