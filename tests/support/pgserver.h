#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A throwaway PostgreSQL server for one test. Its cluster is copied from a
// template made once per build (initdb -E UTF8 --locale=C.UTF-8, the
// database "zefto", the role "clerk" whose password is clerkPassword); it
// runs as the postgres system user (the server refuses root) with its Unix
// socket in a private folder and no TCP port, and is stopped when the
// object goes, also when the test fails or its process dies.
class PgServer {
public:
    static constexpr auto clerkPassword = "right horse battery";

    // Starts the server with these extra settings (name=value).
    explicit PgServer(const QStringList &settings = {});
    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Why the server could not be started (empty when it runs).
    const QString &problem() const { return m_problem; }
    QString socketDir() const { return m_dir.path(); }
    // The address Zefto is given for `db` as `user` (the superuser by default).
    QString uri(const QString &db = QStringLiteral("zefto"), const QString &user = QStringLiteral("postgres")) const;
    // The server's log (statements too when log_statement is set).
    QString log() const;

    // Runs SQL as the superuser through a connection of its own and hands back the rows.
    QList<QVariantList> query(const QString &sql, const QString &db = QStringLiteral("zefto")) const;

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

// A connection of its own, as another program would hold it (a lock, a transaction).
class PgSession {
public:
    PgSession(const PgServer &server, const QString &db = QStringLiteral("zefto"));
    ~PgSession();
    PgSession(const PgSession &) = delete;
    PgSession &operator=(const PgSession &) = delete;
    // Runs one statement; false (with the error printed) when it failed.
    bool exec(const QString &sql);

private:
    QString m_name;
};
