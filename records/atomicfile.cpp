#include "atomicfile.h"

#include "refusal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zefto::records {
namespace {

constexpr qsizetype bufferSize = 1 << 18;

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

// Where a chain of symlinks ends (the path itself when it is none); a dangling link ends at its missing target.
QString destination(const QString &path)
{
    QString at = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40 && QFileInfo(at).isSymLink(); ++hops) {
        const QString next = QFileInfo(at).symLinkTarget();
        if (next.isEmpty())
            break;
        at = QFileInfo(QFileInfo(at).absoluteDir(), next).absoluteFilePath();
    }
    return QDir::cleanPath(at);
}

} // namespace

QString notReplaceable(const QString &path)
{
    struct stat st {};
    const QString at = destination(path);
    if (::stat(QFile::encodeName(at).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return QString();
    if (at != QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
        return QStringLiteral("it leads to '%1', %2").arg(at, kindOf(st.st_mode));
    return QStringLiteral("it is %1").arg(kindOf(st.st_mode));
}

AtomicFile::AtomicFile(const QString &target) : BufferedOutput(bufferSize), m_target(destination(target))
{
    if (const QString why = notReplaceable(m_target); !why.isEmpty())
        fail(why + QStringLiteral(", not a regular file; nothing was written"));
    const QFileInfo info(m_target);
    m_temp =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC);
    if (m_fd < 0) {
        const int e = errno;
        m_temp.clear();
        fail(QStringLiteral("cannot create a file in its folder '%1': %2").arg(info.absolutePath(), systemError(e)));
    }
    // mkstemp makes the file private; a new export gets the usual permissions, a replaced file keeps its own.
    struct stat old {};
    if (::stat(QFile::encodeName(m_target).constData(), &old) == 0) {
        ::fchmod(m_fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
    }
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

void AtomicFile::fail(const QString &why)
{
    throw Refusal{QStringLiteral("Cannot write '%1': %2.").arg(m_target, why)};
}

void AtomicFile::commit()
{
    if (m_fd < 0 || m_committed)
        return;
    if (!drain())
        fail(m_failure + QStringLiteral("; the previous file, if any, is untouched"));
    const auto step = [&](int rc, const char *what) {
        if (rc != 0)
            fail(QStringLiteral("%1 failed: %2; the previous file, if any, is untouched")
                     .arg(QLatin1String(what), systemError(errno)));
    };
    step(::fsync(m_fd), "writing to disk");
    const int fd = m_fd;
    m_fd = -1;
    step(::close(fd), "closing");
    // Checked again just before the rename: a device put in its place meanwhile is not replaced either.
    if (const QString why = notReplaceable(m_target); !why.isEmpty())
        fail(why + QStringLiteral(", not a regular file; nothing was written"));
    step(::rename(m_temp.constData(), QFile::encodeName(m_target).constData()), "renaming the new file into place");
    m_committed = true;
    QIODevice::close();
    // The rename itself lasts once the folder is on disk too.
    const int dir =
        ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace zefto::records
