#include "pgfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString ownerFile = QStringLiteral("owner");

// A pid file outlives its process, whose number may have gone to another program since.
bool isPostgres(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "postgres";
}

qint64 firstNumber(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : 0;
}

} // namespace

bool alive(qint64 pid)
{
    // An ended process nobody has waited for yet is still listed, as a zombie ("Z" after its name).
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return !line.mid(line.lastIndexOf(')') + 1).trimmed().startsWith('Z');
}

QString pgServerRoot()
{
    struct statvfs fs {};
    if (::statvfs("/dev/shm", &fs) == 0 && quint64(fs.f_bavail) * fs.f_frsize >= (quint64(1) << 30)
        && ::access("/dev/shm", W_OK) == 0)
        return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

void markOwner(const QString &folder)
{
    QFile f(folder + u'/' + ownerFile);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
}

void sweepOrphanedServers()
{
    const QDir root(pgServerRoot());
    for (const QString &name : root.entryList({QStringLiteral("zefto-pg-*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = root.filePath(name);
        const qint64 owner = firstNumber(folder + u'/' + ownerFile);
        if (owner == 0 || alive(owner))
            continue;
        // Its server may outlive the owner while a client of the dead test still holds it.
        const qint64 postmaster = firstNumber(folder + QStringLiteral("/data/postmaster.pid"));
        if (alive(postmaster) && isPostgres(postmaster)) {
            ::kill(pid_t(postmaster), SIGQUIT);
            for (int i = 0; i < 500 && alive(postmaster); ++i)
                QThread::msleep(10);
        }
        QDir(folder).removeRecursively();
    }
}

QString runServerFile(const QString &folder, qint64 ctestPid)
{
    return QStringLiteral("%1/run-%2").arg(folder).arg(ctestPid);
}
