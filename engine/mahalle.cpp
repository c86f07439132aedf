#include "mahalle.h"

#include "error.h"

#include <QList>

namespace zefto::mahalle {

QString chosen(const std::optional<QString> &option)
{
    const bool fromEnvironment = !option && qEnvironmentVariableIsSet(environmentVariable);
    const QString name = option ? *option : fromEnvironment ? qEnvironmentVariable(environmentVariable) : defaultName;
    if (name.trimmed().isEmpty())
        throw Error(err::ZeroLengthString,
                    fromEnvironment ? QStringLiteral("The neighbourhood named by %1 is empty or blank; name one, or "
                                                     "unset %1 for \"%2\".")
                                          .arg(QLatin1String(environmentVariable), defaultName)
                                    : QStringLiteral("The neighbourhood (--mahalle) is empty or blank; name one."));
    const QString source = fromEnvironment ? QLatin1String(environmentVariable) : QStringLiteral("--mahalle");
    // The width of a text field in the databases offices came from; longer names break the exports.
    if (const qsizetype n = name.toUcs4().size(); n > maxLength)
        throw Error(err::Reserved, QStringLiteral("The neighbourhood (%1) has %2 characters; at most %3 fit.")
                                       .arg(source)
                                       .arg(n)
                                       .arg(maxLength));
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control)
            throw Error(err::Reserved,
                        QStringLiteral("The neighbourhood (%1) holds the control character U+%2; "
                                       "name it in plain text.")
                            .arg(source, QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0')));
    return name;
}

} // namespace zefto::mahalle
