#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QVariant>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

// Readable failure messages for text and the values read back.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QVariant &v, std::ostream *os)
{
    if (v.isNull())
        *os << "NULL";
    else if (v.typeId() == QMetaType::QString)
        PrintTo(v.toString(), os);
    else
        *os << v.toString().toStdString();
}

// A program running beside the test; its output is gathered as it comes so the test can act on a line.
class Program {
public:
    Program(const QString &program, const QString &workingDirectory, const QStringList &args,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setWorkingDirectory(workingDirectory);
        m_process.setProcessEnvironment(environment);
        m_process.start(program, args);
        EXPECT_TRUE(m_process.waitForStarted(60000)) << program.toStdString();
        m_pid = pid_t(m_process.processId());
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(60000);
        }
    }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // Never kill(0): that would signal the test itself and its whole group.
    void signal(int number) const
    {
        if (m_pid > 0)
            ::kill(m_pid, number);
    }

    // QProcess notices the end of its process only while waiting on it.
    bool running()
    {
        gather();
        return !m_process.waitForFinished(0) && m_process.state() != QProcess::NotRunning;
    }

    // False when the program ended without printing `text` there, or the generous time ran out.
    bool waitForOut(const QString &text, int ms = 60000) { return waitFor(m_out, text, ms); }
    bool waitForErr(const QString &text, int ms = 60000) { return waitFor(m_err, text, ms); }

    // Waits for the end; false when it did not come in time.
    bool finish(int ms = 120000)
    {
        const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
        gather();
        return ended;
    }

    bool exitedNormally() const { return m_process.exitStatus() == QProcess::NormalExit; }
    int exitCode() const { return m_process.exitCode(); }
    QString out() const { return QString::fromUtf8(m_out); }
    QString err() const { return QString::fromUtf8(m_err); }
    // Both channels, for failure messages.
    std::string transcript() const
    {
        return (QStringLiteral("stdout: [") + out() + QStringLiteral("]\nstderr: [") + err() + u']').toStdString();
    }

private:
    void gather()
    {
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
    }

    bool waitFor(const QByteArray &channel, const QString &text, int ms)
    {
        const QByteArray wanted = text.toUtf8();
        QDeadlineTimer deadline(ms);
        for (;;) {
            gather();
            if (channel.contains(wanted))
                return true;
            if (!running())
                return channel.contains(wanted);
            if (deadline.hasExpired())
                return false;
            m_process.waitForReadyRead(10);
        }
    }

    QProcess m_process;
    pid_t m_pid = 0;
    QByteArray m_out, m_err;
};

// Waits until `file` exists while `program` runs; false when it ended first.
// What the converter printed, but for which entry of the log each run became
// ("--conversion 7" in its shares line): runs in another order get other ids.
inline QString anyConversion(QString out)
{
    return out.replace(QRegularExpression(QStringLiteral("--conversion \\d+")), QStringLiteral("--conversion N"));
}

inline bool waitForFile(Program &program, const QString &file, int ms = 60000)
{
    QDeadlineTimer deadline(ms);
    while (!QFile::exists(file)) {
        if (!program.running() || deadline.hasExpired())
            return QFile::exists(file);
        QThread::usleep(200);
    }
    return true;
}

// Another program's connection to the database: it reads, and holds SQLite's locks as long as the test needs.
class OtherConnection {
public:
    OtherConnection(const QString &file, int busyTimeoutMs) : m_name(QStringLiteral("other-%1").arg(++count()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    }
    ~OtherConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    OtherConnection(const OtherConnection &) = delete;
    OtherConnection &operator=(const OtherConnection &) = delete;

    // Runs sql to its end: its rows, or nothing when SQLite refused (busy, no table yet).
    std::optional<QList<QVariantList>> exec(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.setForwardOnly(true);
        if (!q.exec(sql))
            return std::nullopt;
        QList<QVariantList> rows;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            rows << row;
        }
        return rows;
    }

private:
    static int &count()
    {
        static int n = 0;
        return n;
    }
    QString m_name;
};

// The 19 fields of a share record, in table order.
inline QString recordColumns()
{
    return QStringLiteral(
        "yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, babaadi, "
        "epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle");
}

// One row that changes with any record added, removed or altered (text weighted by its record's key).
inline QString tableStateQuery()
{
    const QString text = QStringLiteral(
        "length(ifnull(yada, '') || ifnull(yparsel, '') || ifnull(yhispay, '') || ifnull(yhispayda, '') || "
        "ifnull(\"hisyuzolçumu\", '') || ifnull(yalan, '') || ifnull(adi, '') || ifnull(soyadi, '') || "
        "ifnull(babaadi, '') || ifnull(epafta, '') || ifnull(eada, '') || ifnull(eparsel, '') || "
        "ifnull(ehispay, '') || ifnull(ehispayda, '') || ifnull(mahalle, ''))");
    return QStringLiteral(
               "SELECT count(*), total(id), total(ealan), total(tapu), total(dop), total(tahsis), "
               "total(%1), total(id * %1) FROM ovrekson")
        .arg(text);
}

// The files SQLite keeps beside a database while it is being written.
inline QStringList journalFiles(const QString &database)
{
    QStringList present;
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        if (QFile::exists(database + QLatin1String(suffix)))
            present << database + QLatin1String(suffix);
    return present;
}
