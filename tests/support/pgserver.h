#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A database on a test server and the ways a test reaches it.
class PgTarget {
public:
    static constexpr auto clerkPassword = "right horse battery";

    virtual ~PgTarget() = default;
    virtual bool isRunning() const = 0;
    // The server's log (statements too when log_statement is set); of a
    // PgDatabase, the entries of its sessions alone, as others share the server.
    virtual QString log() const = 0;
    QString socketDir() const { return m_socketDir; }
    // The database of this target; tests may make others beside it.
    const QString &database() const { return m_database; }
    // The address Zefto is given for `db` (this database when empty) as `user` (the superuser by default).
    QString uri(const QString &db = {}, const QString &user = QStringLiteral("postgres")) const;
    // Runs SQL as the superuser through a connection of its own and hands back the rows.
    QList<QVariantList> query(const QString &sql, const QString &db = {}) const;

protected:
    QString m_socketDir;
    QString m_database = QStringLiteral("zefto");
};

// A throwaway PostgreSQL server. Its cluster is copied from a template made
// once per build (initdb -E UTF8 --locale=C.UTF-8, the database "zefto",
// the role "clerk" whose password is clerkPassword) into a folder on tmpfs
// where there is room (pgfolders.h); it runs as the postgres system user (the
// server refuses root) with its Unix socket in that folder and no TCP port,
// and is stopped when the object goes, also when the test fails; should its
// process die, the server goes with it and a later one removes its folder. A
// test that stops or kills its server owns one; the others take a PgDatabase.
class PgServer : public PgTarget {
public:
    // Starts the server with these extra settings (name=value).
    explicit PgServer(const QStringList &settings = {});
    ~PgServer() override;
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    bool isRunning() const override { return m_process.state() != QProcess::NotRunning; }
    // Why the server could not be started (empty when it runs).
    const QString &problem() const { return m_problem; }
    QString log() const override;

    // Stops at once, as a crash would (immediate shutdown: nothing uncommitted is kept).
    void kill();
    // Starts again on the same cluster (crash recovery when it was killed).
    void restart();

private:
    void start();
    void stop();
    qint64 postmasterPid() const;

    QTemporaryDir m_dir;
    QStringList m_settings;
    QProcess m_process;
    QString m_problem;
};

// A database of its own for one test, copied from the database "zefto" (its
// template) on the server of the ctest run (ZEFTO_TEST_SERVER, the fixture
// TestServer), or, run without ctest, on the one server its test binary starts
// at its first such test and stops after its last. A database costs one or
// two hundredths of a second on tmpfs, and is made while the test before runs.
class PgDatabase : public PgTarget {
public:
    PgDatabase();
    ~PgDatabase() override;
    PgDatabase(const PgDatabase &) = delete;
    PgDatabase &operator=(const PgDatabase &) = delete;

    bool isRunning() const override { return m_made; }
    QString log() const override;

private:
    bool m_made = false;
};

// A connection of its own, as another program would hold it (a lock, a transaction).
class PgSession {
public:
    PgSession(const PgTarget &server, const QString &db = {});
    ~PgSession();
    PgSession(const PgSession &) = delete;
    PgSession &operator=(const PgSession &) = delete;
    // Runs one statement; false (with the error printed) when it failed.
    bool exec(const QString &sql);

private:
    QString m_name;
};
