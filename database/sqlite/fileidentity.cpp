#include "fileidentity.h"

#include <QFile>
#include <sys/stat.h>

namespace zefto {

std::optional<FileIdentity> FileIdentity::of(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

} // namespace zefto
