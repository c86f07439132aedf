#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <random>

// End-to-end faults of the real converter on a maximum-size report (32,767 lines, 25,997 records, one transaction).
class CrashTest : public TempDirTest {
protected:
    CrashTest() = default;
    // A report of fewer records, its table's pages alone.
    CrashTest(int records, int lines) : records(records), m_lines(lines) {}

    const int records = 520 * 50 - 3;

    void SetUp() override
    {
        TempDirTest::SetUp();
        std::vector<QByteArray> lines = report::paginate(report::sampleTable(records));
        while (lines.size() < size_t(m_lines))
            lines.push_back(QByteArray());
        m_lines = int(lines.size());
        write(report(), report::join(lines));
    }

    // Named relative to the converter's directory, as a user would type it.
    static QString report() { return QStringLiteral("big.txt"); }

    std::unique_ptr<Program> start(const QString &database,
                                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        return std::make_unique<Program>(
            QStringLiteral(ZEFTO_CONVERT), path(QString()),
            // The same report again and again: each run is a fresh conversion of it.
            QStringList{QStringLiteral("--again"), QStringLiteral("--database"), database, report()}, environment);
    }

    // Every complete run prints what the first one printed: the same report gives the same summary.
    void expectComplete(Program &p)
    {
        ASSERT_TRUE(p.finish());
        ASSERT_TRUE(p.exitedNormally());
        ASSERT_EQ(p.exitCode(), 0) << p.transcript();
        if (m_completeOut.isEmpty()) {
            ASSERT_TRUE(p.out().startsWith(report() + QStringLiteral(": Converted\n  lines read "))) << p.transcript();
            ASSERT_TRUE(p.out().contains(
                QStringLiteral(" of %1, records stored %2, stopped at line ").arg(m_lines).arg(records)))
                << p.transcript();
            m_completeOut = p.out();
        }
        ASSERT_EQ(anyConversion(p.out()), anyConversion(m_completeOut));
        ASSERT_EQ(p.err(), QString());
    }

    void convertFully(const QString &database)
    {
        const std::unique_ptr<Program> p = start(database);
        ASSERT_NO_FATAL_FAILURE(expectComplete(*p));
    }

    // One complete run into a fresh file: what every other file is compared with.
    void makeReference()
    {
        ASSERT_NO_FATAL_FAILURE(convertFully(reference));
        const auto count = rawRows(path(reference), QStringLiteral("SELECT count(*) FROM ovrekson"));
        ASSERT_EQ(count[0][0].toLongLong(), records);
    }

    // Whatever ended the run, the file opens whole holding the reference's records `runs` times, field for field.
    void expectTable(const QString &database, int runs, bool killed = false)
    {
        const QString file = path(database);
        {
            zefto::Database next;
            ASSERT_NO_THROW(next.open(file));
        }
        EXPECT_EQ(rawRows(file, QStringLiteral("PRAGMA integrity_check"))[0][0].toString(), QStringLiteral("ok"));
        QStringList left = journalFiles(file);
        // A killed run may leave a journal whose header it never synced: not hot, so harmless.
        if (killed)
            left.removeAll(file + QStringLiteral("-journal"));
        EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();

        // Compared inside SQLite: reading 26,000 records into the test takes seconds each time.
        OtherConnection db(file, 10000);
        const QString quoted = QString(path(reference)).replace(u'\'', QStringLiteral("''"));
        ASSERT_TRUE(db.exec(QStringLiteral("ATTACH DATABASE '%1' AS ref").arg(quoted)));
        QStringList same;
        for (const QString &c : recordColumns().split(QStringLiteral(", ")))
            same << QStringLiteral("got.%1 IS want.%1").arg(c);
        const auto result =
            db.exec(QStringLiteral("SELECT (SELECT count(*) FROM main.ovrekson), (SELECT max(id) FROM main.ovrekson), "
                                   "(SELECT min(got.id) FROM main.ovrekson got "
                                   "LEFT JOIN ref.ovrekson want ON want.id = (got.id - 1) % %1 + 1 "
                                   "WHERE want.id IS NULL OR NOT (%2))")
                        .arg(records)
                        .arg(same.join(QStringLiteral(" AND "))));
        ASSERT_TRUE(result);
        ASSERT_EQ((*result)[0][0].toLongLong(), qint64(runs) * records);
        ASSERT_EQ((*result)[0][1].toLongLong(), qint64(runs) * records) << "the keys are not 1 to the count";
        // The log agrees: one live entry a run, each covering exactly its records.
        const auto log =
            db.exec(QStringLiteral("SELECT count(*), total(records), "
                                   "count(CASE WHEN last_key - first_key + 1 = records THEN 1 END) "
                                   "FROM zefto_conversions WHERE undone_at IS NULL"));
        ASSERT_TRUE(log);
        EXPECT_EQ((*log)[0][0].toLongLong(), runs) << "live log entries";
        EXPECT_EQ((*log)[0][1].toLongLong(), qint64(runs) * records) << "records the log claims";
        EXPECT_EQ((*log)[0][2].toLongLong(), runs) << "entries whose keys are not their records";
        const QVariant first = (*result)[0][2];
        if (!first.isNull()) {
            const qint64 n = first.toLongLong();
            const QString row = QStringLiteral("SELECT %1 FROM ovrekson WHERE id = %2").arg(recordColumns());
            EXPECT_EQ(rawRows(file, row.arg(n)), rawRows(path(reference), row.arg((n - 1) % records + 1)))
                << "record " << n << " differs";
        }
    }

    static inline const QString reference = QStringLiteral("reference.mdb");

    int m_lines = 32767;

private:
    QString m_completeOut;
};

// Runs ended from outside on a report just large enough for the run to write pages into the
// file before its commit: what a run of the largest report does, at a sixth of the cost.
class EndedRunTest : public CrashTest {
protected:
    EndedRunTest() : CrashTest(80 * 50 - 3, 0) {}

    QProcessEnvironment preloaded(const char *variable, const QString &value) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZEFTO_KILL_AT));
        environment.insert(QString::fromLatin1(variable), value);
        // A sanitized program otherwise refuses a library loaded before the sanitizers' runtime.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS"))
                                                               + QStringLiteral(":verify_asan_link_order=0"));
        return environment;
    }

    // A copy of the reference: the table as a run into it finds it.
    QString before(const QString &name) const
    {
        QFile::remove(path(name));
        EXPECT_TRUE(QFile::copy(path(reference), path(name)));
        return name;
    }
};

// The converter killed before each of its calls that change a file (tests/support/killat.c): the
// file is as it was before the run or as after it, its log agreeing, never anything between.
// Every place where one kind of call gives way to another is a kill point (the first journal
// write, its sync, the first page written into the file, the commit's deletion of the journal),
// and one chosen at random inside each run of page writes.
TEST_F(EndedRunTest, AKilledRunLeavesTheTableAsBeforeOrAfterTheRunWhereverItStops)
{
    ASSERT_NO_FATAL_FAILURE(makeReference());
    const QString traceFile = path(QStringLiteral("trace"));
    {
        const std::unique_ptr<Program> p =
            start(before(QStringLiteral("traced.mdb")), preloaded("ZEFTO_IO_TRACE", traceFile));
        ASSERT_NO_FATAL_FAILURE(expectComplete(*p));
        ASSERT_NO_FATAL_FAILURE(expectTable(QStringLiteral("traced.mdb"), 2));
    }
    QFile file(traceFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray trace = file.readAll();

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::vector<qsizetype> points; // a kill before call number n (from 1)
    for (qsizetype i = 0; i < trace.size();) {
        qsizetype end = i;
        while (end < trace.size() && trace[end] == trace[i])
            ++end;
        points.push_back(i + 1);
        if (trace[i] == 'p' && end - i > 2)
            points.push_back(std::uniform_int_distribution<qsizetype>(i + 2, end)(random));
        i = end;
    }

    // Killed at a call, not at a time, the runs may share the processors.
    int after = 0;
    constexpr size_t together = 8;
    for (size_t first = 0; first < points.size(); first += together) {
        std::vector<std::pair<qsizetype, std::unique_ptr<Program>>> runs;
        for (size_t k = first; k < std::min(points.size(), first + together); ++k) {
            const QString name = QStringLiteral("killed%1.mdb").arg(points[k]);
            runs.emplace_back(points[k], start(before(name), preloaded("ZEFTO_KILL_AT", QString::number(points[k]))));
        }
        for (auto &[point, p] : runs) {
            SCOPED_TRACE(testing::Message()
                         << "killed before call " << point << " of " << trace.size() << ", a '" << trace[point - 1]
                         << "' after " << trace.left(point - 1).right(12).toStdString());
            ASSERT_TRUE(p->finish());
            ASSERT_FALSE(p->exitedNormally()) << p->transcript();
            const QString name = QStringLiteral("killed%1.mdb").arg(point);
            const qint64 count =
                rawRows(path(name), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toLongLong();
            const bool committed = count == 2 * qint64(records);
            after += committed;
            ASSERT_NO_FATAL_FAILURE(expectTable(name, committed ? 2 : 1, true));
        }
    }
    // The traced run is the table after a commit; the kills before it must have left it as before.
    EXPECT_LT(after, int(points.size()));
}

TEST_F(CrashTest, AProgramReadingDuringARunSeesTheTableAsBeforeOrAfterTheRunNeverBetween)
{
    const QString name = QStringLiteral("shared.mdb");
    const QString file = path(name);
    // First into a missing file, then once more into the same file.
    std::optional<QVariantList> before;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        const std::unique_ptr<Program> p = start(name);
        ASSERT_TRUE(waitForFile(*p, file)) << p->transcript();
        QList<QVariantList> seen;
        bool writeAheadLog = false;
        {
            OtherConnection reader(file, 10000);
            while (p->running()) {
                // Until the converter has made its table there is nothing to read.
                const auto rows = reader.exec(tableStateQuery());
                if (rows)
                    seen << rows->first();
                writeAheadLog = writeAheadLog || QFile::exists(file + QStringLiteral("-wal"));
            }
        }
        EXPECT_FALSE(writeAheadLog) << "the run wrote a -wal file";
        // Being read did not hold the run up: it ended as a run alone does.
        ASSERT_NO_FATAL_FAILURE(expectComplete(*p));
        const QList<QVariantList> state = rawRows(file, tableStateQuery());
        ASSERT_EQ(state.size(), 1);
        const QVariantList &after = state[0];
        EXPECT_EQ(after[0].toLongLong(), qint64(run) * records);
        EXPECT_GT(seen.size(), 0);
        QStringList between;
        for (const QVariantList &s : std::as_const(seen)) {
            const bool asBefore = before ? s == *before : s[0].toLongLong() == 0;
            if (!asBefore && s != after)
                between << s[0].toString();
        }
        EXPECT_TRUE(between.isEmpty()) << "records read mid-run: " << between.join(u' ').toStdString()
                                       << "; before the run " << (before ? (*before)[0].toLongLong() : 0) << ", after "
                                       << after[0].toLongLong();
        before = after;
    }
}

TEST_F(EndedRunTest, AnInterruptedRunStopsRollsBackAndSaysNothingWasStored)
{
    ASSERT_NO_FATAL_FAILURE(makeReference());
    const QString message = QStringLiteral("interrupted: nothing of %1 was stored\n").arg(report());
    const QRegularExpression summary(QStringLiteral("\n  lines read (\\d+) of %1, records stored 0, "
                                                    "stopped at line \\1\n$")
                                         .arg(m_lines));

    for (const auto &[number, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(testing::Message() << "signal " << number);
        const QString name = QStringLiteral("signal%1.mdb").arg(number);
        const QString file = path(name);
        ASSERT_NO_FATAL_FAILURE(convertFully(name));

        // A write lock makes the run wait; a read lock taken meanwhile keeps it from committing before the signal.
        OtherConnection writer(file, 0);
        ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
        const std::unique_ptr<Program> p = start(name);
        const QString waiting = QStringLiteral("waiting for another program to finish writing %1\u2026\n")
                                    .arg(QFileInfo(file).canonicalFilePath());
        ASSERT_TRUE(p->waitForErr(waiting)) << p->transcript();
        OtherConnection reader(file, 0);
        ASSERT_TRUE(reader.exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(reader.exec(QStringLiteral("SELECT count(*) FROM ovrekson")));
        ASSERT_TRUE(writer.exec(QStringLiteral("ROLLBACK")));
        // Its journal appears with the first change the run makes.
        const bool adding = waitForFile(*p, file + QStringLiteral("-journal"));
        if (adding)
            p->signal(number);
        reader.exec(QStringLiteral("COMMIT"));
        ASSERT_TRUE(p->finish());
        ASSERT_TRUE(adding) << p->transcript();

        EXPECT_TRUE(p->exitedNormally()) << p->transcript();
        EXPECT_EQ(p->exitCode(), status) << p->transcript();
        EXPECT_EQ((p->out() + p->err()).count(message), 1) << p->transcript();
        EXPECT_TRUE(p->out().startsWith(report() + QStringLiteral(": "))) << p->transcript();
        EXPECT_TRUE(summary.match(p->out()).hasMatch()) << p->transcript();
        EXPECT_TRUE(p->err() == waiting || p->err() == waiting + message) << p->transcript();
        ASSERT_NO_FATAL_FAILURE(expectTable(name, 1));
    }
}
