#include "pgserver.h"

#include "pgfolders.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString bin = QStringLiteral("/usr/lib/postgresql/15/bin/");
const QString templateDir = QStringLiteral(PG_TEMPLATE_DIR);
std::atomic<int> sessions = 0;

// Runs a program as the postgres system user; its output goes to the test's log on failure.
bool runAsPostgres(const QString &program, const QStringList &args, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("runuser"),
            QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), bin + program} + args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

// A folder the postgres user owns and alone can enter.
bool giveToPostgres(const QString &dir)
{
    const passwd *pw = getpwnam("postgres");
    return pw && ::chown(QFile::encodeName(dir).constData(), pw->pw_uid, pw->pw_gid) == 0
           && ::chmod(QFile::encodeName(dir).constData(), 0700) == 0;
}

bool copyTree(const QString &from, const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from, to}) == 0;
}

// initdb, then the database and the role every test uses; the pg_hba rules
// make the clerk give a password and let the superuser in by the socket alone.
// Nothing is synced (-N, -F): a test cluster outlives no crash, and syncing took
// three of the four seconds.
QString makeTemplate(const QString &work)
{
    QString out;
    const QString data = work + QStringLiteral("/data");
    if (!runAsPostgres(QStringLiteral("initdb"),
                       {QStringLiteral("-D"), data, QStringLiteral("-E"), QStringLiteral("UTF8"),
                        QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-A"), QStringLiteral("trust"),
                        QStringLiteral("-N")},
                       &out))
        return QStringLiteral("initdb failed: ") + out;
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("cannot write pg_hba.conf");
    hba.write("local all clerk scram-sha-256\nlocal all all trust\nhost all all 127.0.0.1/32 scram-sha-256\n");
    hba.close();
    QString sql = QStringLiteral(
                      "CREATE DATABASE zefto; CREATE ROLE clerk LOGIN PASSWORD '%1';"
                      " GRANT ALL ON DATABASE zefto TO clerk;")
                      .arg(QString::fromLatin1(PgServer::clerkPassword));
    QStringList args{QStringLiteral("--single"), QStringLiteral("-F"), QStringLiteral("-D"), data,
                     QStringLiteral("postgres")};
    QProcess single;
    single.setProcessChannelMode(QProcess::MergedChannels);
    single.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                        QStringLiteral("--"), bin + QStringLiteral("postgres")}
                                                + args);
    // Single-user mode reads one statement per line.
    single.write(sql.replace(QStringLiteral("; "), QStringLiteral(";\n")).toUtf8() + "\n");
    single.closeWriteChannel();
    if (!single.waitForFinished(120000) || single.exitCode() != 0)
        return QStringLiteral("setting up the template failed: ") + QString::fromLocal8Bit(single.readAll());
    const QString error = QString::fromLocal8Bit(single.readAll());
    if (error.contains(QLatin1String("ERROR")))
        return QStringLiteral("setting up the template failed: ") + error;
    return {};
}

// The template is made once per build, by whichever test gets there first.
QString ensureTemplate()
{
    if (QFile::exists(templateDir + QStringLiteral("/PG_VERSION")))
        return {};
    QDir().mkpath(QFileInfo(templateDir).absolutePath());
    const int lock =
        ::open(QFile::encodeName(templateDir + QStringLiteral(".lock")).constData(), O_CREAT | O_RDWR, 0644);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        return QStringLiteral("cannot lock the template of the test server");
    QString problem;
    if (!QFile::exists(templateDir + QStringLiteral("/PG_VERSION"))) {
        QTemporaryDir work(pgServerRoot() + QStringLiteral("/zefto-pg-template-XXXXXX"));
        markOwner(work.path());
        const QString staged = templateDir + QStringLiteral(".new");
        QDir(staged).removeRecursively();
        if (!giveToPostgres(work.path()))
            problem = QStringLiteral("cannot give a folder to the postgres user");
        else
            problem = makeTemplate(work.path());
        if (problem.isEmpty()
            && !(copyTree(work.path() + QStringLiteral("/data"), staged) && QDir().rename(staged, templateDir)))
            problem = QStringLiteral("cannot keep the template in ") + templateDir;
    }
    ::close(lock);
    return problem;
}

} // namespace

PgServer::PgServer(const QStringList &settings)
    : m_dir(pgServerRoot() + QStringLiteral("/zefto-pg-XXXXXX")), m_settings(settings)
{
    m_socketDir = m_dir.path();
    markOwner(m_dir.path());
    sweepOrphanedServers();
    m_problem = ensureTemplate();
    if (m_problem.isEmpty()
        && !(giveToPostgres(m_dir.path()) && copyTree(templateDir, m_dir.path() + QStringLiteral("/data"))))
        m_problem = QStringLiteral("cannot copy the template cluster");
    if (m_problem.isEmpty())
        start();
    if (!m_problem.isEmpty())
        ADD_FAILURE() << m_problem.toStdString();
}

PgServer::~PgServer()
{
    stop();
}

void PgServer::start()
{
    QStringList args{QStringLiteral("-u"), QStringLiteral("postgres"),
                     QStringLiteral("--"), bin + QStringLiteral("postgres"),
                     QStringLiteral("-D"), m_dir.path() + QStringLiteral("/data"),
                     QStringLiteral("-k"), m_dir.path()};
    // Throwaway data: nothing synced, no page written twice, nothing vacuumed behind the tests' backs. A
    // session's log entries name its database, which tells apart the tests that share a server.
    for (const char *setting :
         {"listen_addresses=", "fsync=off", "full_page_writes=off", "autovacuum=off", "log_line_prefix=%m [%p] %q%d "})
        args << QStringLiteral("-c") << QString::fromLatin1(setting);
    for (const QString &s : m_settings)
        args << QStringLiteral("-c") << s;
    m_process.setStandardOutputFile(m_dir.path() + QStringLiteral("/log"), QIODevice::Append);
    m_process.setStandardErrorFile(m_dir.path() + QStringLiteral("/log"), QIODevice::Append);
    // Should the test process die, the server goes with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral("runuser"), args);
    if (!m_process.waitForStarted()) {
        m_problem = QStringLiteral("cannot start runuser");
        return;
    }
    // postmaster.pid says "ready" on its 8th line once connections are accepted.
    for (int i = 0; i < 3000 && isRunning(); ++i) {
        QFile pid(m_dir.path() + QStringLiteral("/data/postmaster.pid"));
        if (pid.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = pid.readAll().split('\n');
            if (lines.size() > 7 && lines[7].trimmed() == "ready")
                return;
        }
        QThread::msleep(10);
    }
    m_problem = QStringLiteral("the test server did not start: ") + log();
    stop();
}

qint64 PgServer::postmasterPid() const
{
    QFile pid(m_dir.path() + QStringLiteral("/data/postmaster.pid"));
    if (!pid.open(QIODevice::ReadOnly))
        return 0;
    return pid.readLine().trimmed().toLongLong();
}

void PgServer::stop()
{
    if (!isRunning())
        return;
    // Fast shutdown: sessions are ended, nothing waits for clients.
    if (const qint64 pid = postmasterPid(); pid > 0)
        ::kill(pid_t(pid), SIGINT);
    if (!m_process.waitForFinished(30000)) {
        if (const qint64 pid = postmasterPid(); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void PgServer::kill()
{
    if (const qint64 pid = postmasterPid(); pid > 0 && isRunning())
        ::kill(pid_t(pid), SIGQUIT);
    m_process.waitForFinished(30000);
}

void PgServer::restart()
{
    stop();
    m_problem.clear();
    start();
    if (!m_problem.isEmpty())
        ADD_FAILURE() << m_problem.toStdString();
}

QString PgTarget::uri(const QString &db, const QString &user) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, db.isEmpty() ? m_database : db, m_socketDir);
}

QString PgServer::log() const
{
    QFile f(m_dir.path() + QStringLiteral("/log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QList<QVariantList> PgTarget::query(const QString &sql, const QString &db) const
{
    const QString name = QStringLiteral("pgserver-query-%1").arg(sessions++);
    QList<QVariantList> rows;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        c.setHostName(m_socketDir);
        c.setUserName(QStringLiteral("postgres"));
        c.setDatabaseName(db.isEmpty() ? m_database : db);
        EXPECT_TRUE(c.open()) << c.lastError().text().toStdString();
        QSqlQuery q(c);
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

PgSession::PgSession(const PgTarget &server, const QString &db)
    : m_name(QStringLiteral("pgserver-session-%1").arg(sessions++))
{
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    c.setHostName(server.socketDir());
    c.setUserName(QStringLiteral("postgres"));
    c.setDatabaseName(db.isEmpty() ? server.database() : db);
    EXPECT_TRUE(c.open()) << c.lastError().text().toStdString();
}

PgSession::~PgSession()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

bool PgSession::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    const bool ok = q.exec(sql);
    EXPECT_TRUE(ok) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    return ok;
}
