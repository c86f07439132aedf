#include "loggedstore.h"

namespace zefto {

std::optional<Conversion> LoggedStore::findConversion(const QString &sha256)
{
    std::vector<Conversion> found = readLog(QLatin1String(conversionlog::latestStillStored), {sha256});
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<Conversion> LoggedStore::conversions()
{
    return readLog(QLatin1String(conversionlog::oldestFirst), {});
}

} // namespace zefto
