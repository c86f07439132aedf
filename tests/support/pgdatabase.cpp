#include "pgfolders.h"
#include "pgserver.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <memory>
#include <unistd.h>

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
    ~DatabaseMaker()
    {
        finish();
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

    void drop(const QString &name)
    {
        succeeded(m_drop);
        send(m_drop, QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name));
        m_dropping = true;
    }

    // Waits for what is under way; the database made for no test goes.
    void finish()
    {
        if (!m_next.isEmpty() && succeeded(m_make))
            drop(std::exchange(m_next, QString()));
        m_next.clear();
        if (m_dropping)
            succeeded(m_drop);
        m_dropping = false;
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
    bool m_dropping = false;
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
    return SharedServer::get().log();
}
