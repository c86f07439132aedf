#include "sqliteerror.h"

#include "schema.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

namespace zefto::sqlite {
namespace {

// The field a failed CHECK names: our constraints carry the field's name;
// an unnamed one reports its expression, which starts with the field.
QString checkedField(const QString &message)
{
    static const QString prefix = QStringLiteral("CHECK constraint failed: ");
    const qsizetype at = message.indexOf(prefix);
    if (at < 0)
        return {};
    QString rest = message.mid(at + prefix.size()).trimmed();
    if (rest.startsWith(u'"'))
        rest.remove(0, 1);
    const QStringList &names = schema::fieldNames();
    for (int i = 0; i < schema::requiredTextFields; ++i) {
        const QString &n = names[i];
        if (rest == n || (rest.startsWith(n) && !rest.at(n.size()).isLetterOrNumber()))
            return n;
    }
    return {};
}

// SQLite's own record of errno does not survive the rollback that follows a
// failed write, so a write error is also checked against the room there is.
bool noRoomLeft(int code, const QString &path)
{
    // A file size limit refuses a write without a trace once SQLite has rolled back: a failed write under one is it.
    if (struct rlimit set{};
        code == SQLITE_IOERR_WRITE && getrlimit(RLIMIT_FSIZE, &set) == 0 && set.rlim_cur != RLIM_INFINITY)
        return true;
    constexpr qint64 margin = 64 * 1024; // more than any page SQLite writes at once
    struct rlimit limit {};
    // The journal beside the file grows too, and may be the one that reached the limit.
    const qint64 largest = std::max(QFileInfo(path).size(), QFileInfo(path + QStringLiteral("-journal")).size());
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
        && (largest + margin >= qint64(limit.rlim_cur) || qint64(limit.rlim_cur) < margin))
        return true;
    struct statvfs fs {};
    return ::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &fs) == 0
           && qint64(fs.f_bavail) * qint64(fs.f_frsize) < margin;
}

} // namespace

Error readFailed(const QString &path, const QString &message)
{
    return {err::ReadFailed, QStringLiteral("Disk I/O error while reading the database '%1': %2.").arg(path, message)};
}

Error sqliteError(int code, const QString &message, const QString &path, int systemErrno)
{
    // A write refused for want of space (or past the file size limit) is a full database, whatever SQLite calls it.
    if ((code & 0xff) == SQLITE_IOERR
        && (systemErrno == ENOSPC || systemErrno == EDQUOT || systemErrno == EFBIG || noRoomLeft(code, path)))
        return {err::DiskFull, QStringLiteral("The database '%1' is full: %2.").arg(path, message)};
    if (code == SQLITE_READONLY_DIRECTORY
        || ((code & 0xff) == SQLITE_CANTOPEN && (systemErrno == EACCES || systemErrno == EPERM)))
        return {err::ReadOnly, QStringLiteral("Cannot update the database '%1': its folder '%2' is not writable, and "
                                              "every change needs a journal file beside the database.")
                                   .arg(path, QFileInfo(path).absolutePath())};
    switch (code & 0xff) {
    case SQLITE_CONSTRAINT: {
        const QString field = checkedField(message);
        if (!field.isEmpty())
            return {err::ZeroLengthString, QStringLiteral("Field '%1' cannot be a zero-length string.").arg(field)};
        if (message.contains(QStringLiteral("cannot store")) || message.contains(QStringLiteral("failed: type of ")))
            return {err::DataTypeConversion, QStringLiteral("Data type conversion error: %1.").arg(message)};
        return {err::Reserved, QStringLiteral("The record was refused: %1.").arg(message)};
    }
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {err::FileInUse,
                QStringLiteral("The database '%1' is in use by another program, which holds it locked.").arg(path)};
    case SQLITE_READONLY:
        return {err::ReadOnly, QStringLiteral("Cannot update. The database '%1' is read-only.").arg(path)};
    case SQLITE_FULL: return {err::DiskFull, QStringLiteral("The database '%1' is full: %2.").arg(path, message)};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return {err::UnrecognizedFormat, QStringLiteral("Unrecognized database format '%1': %2.").arg(path, message)};
    case SQLITE_IOERR:
        if (code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ || code == SQLITE_IOERR_CORRUPTFS)
            return readFailed(path, message);
        [[fallthrough]];
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        return {err::CannotOpen, QStringLiteral("Cannot open the database '%1': %2.").arg(path, message)};
    default: return {err::Reserved, QStringLiteral("Database error in '%1': %2.").arg(path, message)};
    }
}

} // namespace zefto::sqlite
