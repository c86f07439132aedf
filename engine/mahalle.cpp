#include "mahalle.h"

#include "error.h"

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
    return name;
}

} // namespace zefto::mahalle
