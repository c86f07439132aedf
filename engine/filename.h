#pragma once

#include <QByteArray>
#include <QString>

namespace zefto {

// Whether a name's bytes come back unchanged through QFile::decodeName and
// QFile::encodeName: a name that does not can be shown but never opened.
bool survivesFileNameEncoding(const QByteArray &raw);

// Whether a path looks like a decoded name that lost bytes: it holds U+FFFD
// and no file exists by it as given.
bool looksUndecodable(const QString &path);

// What the operator is told about such a name.
QString undecodableNameMessage(const QString &shownPath);

} // namespace zefto
