#include "filename.h"

#include <QFile>
#include <QFileInfo>

namespace zefto {

bool survivesFileNameEncoding(const QByteArray &raw)
{
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

bool looksUndecodable(const QString &path)
{
    return path.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(path);
}

QString undecodableNameMessage(const QString &shownPath)
{
    return QStringLiteral("The name '%1' is not valid in this system's file-name encoding; rename the file.")
        .arg(shownPath);
}

} // namespace zefto
