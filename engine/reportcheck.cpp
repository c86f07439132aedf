#include "reportcheck.h"

#include "error.h"
#include "layout.h"
#include "location.h"
#include "reportreader.h"

#include <QFile>
#include <filesystem>
#include <new>
#include <system_error>

namespace zefto::reportcheck {

bool hasFullDataLine(const QString &path)
{
    try {
        ReportReader reader;
        reader.open(path);
        for (int line = 1; !reader.atEnd(); ++line) {
            if (reader.skipLine() >= layout::fullLineLength && layout::inDataBlock(line))
                return true;
        }
    } catch (const Error &) {
    } catch (const std::bad_alloc &) {
    }
    return false;
}

bool isDatabaseFile(const QString &path, const QString &databasePath)
{
    if (path.isEmpty() || databasePath.isEmpty() || location::isServerAddress(databasePath))
        return false;
    const std::filesystem::path report(QFile::encodeName(path).toStdString());
    for (const char *side : {"", "-journal", "-wal", "-shm"}) {
        const std::filesystem::path candidate(QFile::encodeName(databasePath + QLatin1String(side)).toStdString());
        std::error_code ec;
        // Same device and inode: a link or another spelling of the path is still the database.
        if (std::filesystem::equivalent(report, candidate, ec) && !ec)
            return true;
    }
    return false;
}

} // namespace zefto::reportcheck
