// zefto-test-server: the one PostgreSQL server a whole ctest run shares (the
// fixture TestServer in tests/CMakeLists.txt), so the test binaries start none.
//   start FOLDER  starts it, kept by a detached process of its own, and tells
//                 the binaries of this ctest run where it is (pgfolders.h)
//   stop FOLDER   stops it and removes its folder
// The keeper also stops it when its ctest ends without the stop, killed or
// interrupted, and removes what crashed tests left behind.
#include "pgfolders.h"
#include "pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// Runs in the keeper: the server lives until a stop or the end of its ctest.
int keep(const QString &file, qint64 ctest)
{
    PgServer server;
    if (!server.isRunning()) {
        QSaveFile failed(file + QStringLiteral(".failed"));
        if (failed.open(QIODevice::WriteOnly)) {
            failed.write(server.problem().toUtf8());
            failed.commit();
        }
        return 1;
    }
    // Blocked once the server runs, so it does not inherit the mask; a stop can only come after the file exists.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(server.socketDir().toUtf8() + '\n' + QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    if (!f.commit())
        return 1;
    const timespec look{0, 200'000'000};
    while (sigtimedwait(&stop, nullptr, &look) < 0 && alive(ctest)) {
    }
    QFile::remove(file);
    return 0;
}

int start(const QString &folder)
{
    const qint64 ctest = ::getppid();
    const QString file = runServerFile(folder, ctest);
    QDir().mkpath(folder);
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".failed"));
    QProcess keeper;
    keeper.setProgram(QCoreApplication::applicationFilePath());
    keeper.setArguments({QStringLiteral("keep"), file, QString::number(ctest)});
    keeper.setStandardInputFile(QProcess::nullDevice());
    keeper.setStandardOutputFile(QProcess::nullDevice());
    keeper.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!keeper.startDetached(&pid)) {
        std::fprintf(stderr, "cannot start the test server's keeper\n");
        return 1;
    }
    for (int i = 0; i < 12000 && alive(pid); ++i) {
        if (QFile::exists(file)) {
            std::printf("test server kept by process %lld for ctest %lld (%s)\n", pid, ctest, qPrintable(file));
            return 0;
        }
        QThread::msleep(10);
    }
    QFile failed(file + QStringLiteral(".failed"));
    std::fprintf(stderr, "the test server did not start: %s\n",
                 failed.open(QIODevice::ReadOnly) ? failed.readAll().constData() : "its keeper ended");
    failed.remove();
    return 1;
}

int stop(const QString &folder)
{
    QFile f(runServerFile(folder, ::getppid()));
    qint64 keeper = 0;
    if (f.open(QIODevice::ReadOnly)) {
        f.readLine();
        keeper = f.readLine().trimmed().toLongLong();
    }
    if (keeper > 0 && alive(keeper)) {
        ::kill(pid_t(keeper), SIGTERM);
        for (int i = 0; i < 6000 && alive(keeper); ++i)
            QThread::msleep(10);
    }
    sweepOrphanedServers();
    if (keeper > 0 && alive(keeper)) {
        std::fprintf(stderr, "the test server's keeper (process %lld) did not end\n", keeper);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("start"))
        return start(args[2]);
    if (args.size() == 3 && args[1] == QLatin1String("stop"))
        return stop(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("keep")) {
        const int status = keep(args[2], args[3].toLongLong());
        sweepOrphanedServers();
        return status;
    }
    std::fprintf(stderr, "usage: zefto-test-server start|stop FOLDER\n");
    return 64;
}
