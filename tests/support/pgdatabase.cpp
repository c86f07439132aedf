#include "pgfolders.h"
#include "pgserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <memory>
#include <unistd.h>
#include <utility>

namespace {

// The server a ctest run started for all its binaries (the fixture TestServer):
// another process keeps it, so this one only reads where it is.
class RunServer final : public PgTarget {
public:
    explicit RunServer(const QString &folder)
    {
        const QString file = runServerFile(folder, ::getppid());
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            m_socketDir = QString::fromUtf8(f.readLine().trimmed());
        if (!isRunning())
            ADD_FAILURE() << "ZEFTO_TEST_SERVER is set but " << file.toStdString()
                          << " names no running test server: run the test through ctest, or unset it";
    }
    bool isRunning() const override
    {
        return !m_socketDir.isEmpty() && QFile::exists(m_socketDir + QStringLiteral("/.s.PGSQL.5432"));
    }
    QString log() const override
    {
        QFile f(m_socketDir + QStringLiteral("/log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

// Makes and drops the tests' databases over two connections of its own, so
// neither waits for the other: the next test's database is made while a test
// runs, and a finished test's is dropped while the next one runs.
class DatabaseMaker {
public:
    explicit DatabaseMaker(const QString &socketDir)
    {
        const QByteArray conninfo = "host=" + socketDir.toUtf8() + " user=postgres dbname=postgres";
        m_make = PQconnectdb(conninfo.constData());
        m_drop = PQconnectdb(conninfo.constData());
    }
    // The last test's database and the one made for no test stay: their server goes after the run.
    ~DatabaseMaker()
    {
        succeeded(m_make);
        succeeded(m_drop);
        PQfinish(m_make);
        PQfinish(m_drop);
    }
    DatabaseMaker(const DatabaseMaker &) = delete;
    DatabaseMaker &operator=(const DatabaseMaker &) = delete;

    // The database made in advance (empty when it could not be made); the next one is begun.
    QString take()
    {
        if (m_next.isEmpty())
            makeNext();
        QString name = std::exchange(m_next, QString());
        if (!(succeeded(m_make) && exec(m_make, QStringLiteral("GRANT ALL ON DATABASE %1 TO clerk").arg(name))))
            name.clear();
        makeNext();
        return name;
    }

    // A test's database goes once the next test is done: by then its sessions
    // have ended, and the server waits a tenth of a second for one still ending.
    void drop(const QString &name)
    {
        if (!m_finished.isEmpty()) {
            succeeded(m_drop);
            send(m_drop, QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_finished));
        }
        m_finished = name;
    }

private:
    void makeNext()
    {
        // Named by the process too: every binary of a ctest run shares the server.
        m_next = QStringLiteral("test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_made);
        send(m_make, QStringLiteral("CREATE DATABASE %1 TEMPLATE zefto STRATEGY FILE_COPY").arg(m_next));
    }

    static void send(PGconn *c, const QString &sql)
    {
        if (!PQsendQuery(c, sql.toUtf8().constData()))
            ADD_FAILURE() << sql.toStdString() << ": " << PQerrorMessage(c);
    }

    // Waits for the statement sent last; false (and a failure) when it failed.
    static bool succeeded(PGconn *c)
    {
        bool ok = true;
        while (PGresult *r = PQgetResult(c)) {
            if (PQresultStatus(r) != PGRES_COMMAND_OK) {
                ADD_FAILURE() << "cannot make or drop a test database: " << PQresultErrorMessage(r);
                ok = false;
            }
            PQclear(r);
        }
        return ok && PQstatus(c) == CONNECTION_OK;
    }

    static bool exec(PGconn *c, const QString &sql)
    {
        send(c, sql);
        return succeeded(c);
    }

    PGconn *m_make;
    PGconn *m_drop;
    QString m_next;
    QString m_finished;
    int m_made = 0;
};

// The server of this test binary: the ctest run's when ZEFTO_TEST_SERVER names
// one, else a server of its own, started by the first PgDatabase and stopped
// once every test has run, before the application object goes.
class SharedServer : public ::testing::Environment {
public:
    static PgTarget &get()
    {
        if (!server) {
            const QString folder = qEnvironmentVariable("ZEFTO_TEST_SERVER");
            server = folder.isEmpty() ? std::unique_ptr<PgTarget>(std::make_unique<PgServer>())
                                      : std::make_unique<RunServer>(folder);
        }
        return *server;
    }

    static DatabaseMaker &maker()
    {
        if (!databases)
            databases = std::make_unique<DatabaseMaker>(get().socketDir());
        return *databases;
    }

    void TearDown() override
    {
        databases.reset();
        server.reset();
    }

private:
    static inline std::unique_ptr<PgTarget> server;
    static inline std::unique_ptr<DatabaseMaker> databases;
};

[[maybe_unused]] ::testing::Environment *const sharedServer = ::testing::AddGlobalTestEnvironment(new SharedServer);

} // namespace

PgDatabase::PgDatabase()
{
    const PgTarget &server = SharedServer::get();
    m_socketDir = server.socketDir();
    if (!server.isRunning())
        return;
    m_database = SharedServer::maker().take();
    m_made = !m_database.isEmpty();
}

PgDatabase::~PgDatabase()
{
    if (m_made)
        SharedServer::maker().drop(m_database);
}

QString PgDatabase::log() const
{
    // An entry starts with the time and the process (log_line_prefix); its other lines go with it.
    static const QRegularExpression entryStart(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d [^[\n]*\\[\\d+\\] "));
    const QString all = SharedServer::get().log();
    const QString mine = m_database + u' ';
    QString entries;
    bool keep = false;
    for (const QString &line : all.split(u'\n', Qt::SkipEmptyParts)) {
        if (const QRegularExpressionMatch m = entryStart.match(line); m.hasMatch())
            keep = QStringView(line).mid(m.capturedLength()).startsWith(mine);
        if (keep)
            entries += line + u'\n';
    }
    return entries;
}
