#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <random>
#include <gtest/gtest.h>

// The converter and the records tool under injected malloc and I/O faults
// (libfiu), each run judged from outside by what the file holds afterwards.
namespace {

// The programs under test; another build's can be named to judge it the same way.
QString program(const char *variable, const char *built)
{
    const QString named = qEnvironmentVariable(variable);
    return named.isEmpty() ? QString::fromUtf8(built) : named;
}

struct State {
    QString integrity;
    QList<QVariantList> records; // id, then the fields
    QList<QVariantList> log;     // id, records, first_key, last_key, undone
};

// A run's claim that records are in the table: "records stored 12", "12 records were stored".
qint64 claimedRecords(const QString &said)
{
    static const QRegularExpression claim(QStringLiteral("records stored (\\d+)|(\\d+) records? w(?:as|ere) stored"));
    qint64 most = 0;
    for (auto it = claim.globalMatch(said); it.hasNext();) {
        const auto m = it.next();
        most = std::max(most, (m.captured(1) + m.captured(2)).toLongLong());
    }
    return most;
}

class FaultInjectionTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        write(QStringLiteral("r.txt"), report::join(report::paginate(report::sampleTable(30))));
        ASSERT_EQ(run(QString(), convert, {QStringLiteral("--database"), db(), QStringLiteral("r.txt")}).exitCode(), 0);
        const State first = state();
        m_fields = fieldsOf(first.records);
        ASSERT_GT(m_fields.size(), 0);
    }

    QString db() const { return path(QStringLiteral("t.mdb")); }

    Program &run(const QString &fault, const QString &tool, const QStringList &args)
    {
        QStringList all{QStringLiteral("-x"), QStringLiteral("-f"), QString()};
        if (!fault.isEmpty())
            all << QStringLiteral("-c") << fault;
        m_program.reset();
        m_program = std::make_unique<Program>(QStringLiteral("fiu-run"), path(QString()), all << tool << args);
        EXPECT_TRUE(m_program->finish());
        return *m_program;
    }

    State state() const
    {
        State s;
        s.integrity = rawRows(db(), QStringLiteral("PRAGMA integrity_check")).value(0).value(0).toString();
        s.records = rawRows(db(), QStringLiteral("SELECT id, %1 FROM ovrekson ORDER BY id").arg(recordColumns()));
        s.log = rawRows(db(), QStringLiteral("SELECT id, records, ifnull(first_key, 0), ifnull(last_key, 0), "
                                             "undone_at IS NOT NULL FROM zefto_conversions ORDER BY id"));
        return s;
    }

    static QList<QVariantList> fieldsOf(const QList<QVariantList> &records, qsizetype from = 0)
    {
        QList<QVariantList> out;
        for (qsizetype i = from; i < records.size(); ++i)
            out << records[i].mid(1);
        return out;
    }

    // What holds after any run: a whole file, and a log whose every live
    // entry covers exactly its records, which are all the records there are.
    void expectSound(const State &s, const std::string &context)
    {
        EXPECT_EQ(s.integrity, QStringLiteral("ok")) << context;
        qint64 live = 0;
        for (const QVariantList &e : s.log) {
            const qint64 n = e[1].toLongLong(), first = e[2].toLongLong(), last = e[3].toLongLong();
            const qint64 inRange = std::count_if(s.records.begin(), s.records.end(), [&](const QVariantList &r) {
                return r[0].toLongLong() >= first && r[0].toLongLong() <= last;
            });
            if (e[4].toBool()) {
                EXPECT_EQ(inRange, 0) << "undone entry " << e[0].toLongLong() << " still has records; " << context;
                continue;
            }
            EXPECT_GT(n, 0) << "a live entry for no records; " << context;
            EXPECT_EQ(inRange, n) << "entry " << e[0].toLongLong() << "; " << context;
            EXPECT_EQ(last - first + 1, n) << "entry " << e[0].toLongLong() << "; " << context;
            live += n;
        }
        EXPECT_EQ(live, s.records.size()) << "records no live entry covers; " << context;
    }

    // A conversion adds the report's records from its start (all of them, none,
    // or those before a failure of a line), and says exactly how many.
    void expectConversion(const State &before, const State &after, Program &p, const std::string &context)
    {
        const qint64 added = after.records.size() - before.records.size();
        ASSERT_TRUE(added >= 0 && added <= m_fields.size()) << added << " records added; " << context;
        EXPECT_EQ(after.records.mid(0, before.records.size()), before.records) << context;
        EXPECT_EQ(fieldsOf(after.records, before.records.size()), m_fields.mid(0, added)) << context;
        if (p.exitedNormally() && p.exitCode() == 0)
            EXPECT_EQ(added, m_fields.size()) << "exit 0 with records missing; " << context;
        if (p.out().contains(QStringLiteral("Converted")))
            EXPECT_EQ(added, m_fields.size()) << context;
        const qint64 claimed = claimedRecords(p.out() + p.err());
        EXPECT_TRUE(claimed == 0 || claimed == added) << claimed << " claimed; " << context;
    }

    // An undo removes exactly the chosen conversion's records and marks it, or changes nothing.
    void expectUndo(const State &before, const State &after, qint64 id, Program &p, const std::string &context)
    {
        const auto entry = std::find_if(before.log.begin(), before.log.end(),
                                        [&](const QVariantList &e) { return e[0].toLongLong() == id; });
        ASSERT_NE(entry, before.log.end());
        QList<QVariantList> kept;
        for (const QVariantList &r : before.records)
            if (r[0].toLongLong() < (*entry)[2].toLongLong() || r[0].toLongLong() > (*entry)[3].toLongLong())
                kept << r;
        const bool undone = after.records == kept && after.records != before.records;
        EXPECT_TRUE(undone || after.records == before.records) << context;
        const bool claimed = p.exitedNormally() && p.exitCode() == 0;
        EXPECT_TRUE(!claimed || undone) << "exit 0, nothing removed; " << context;
    }

    // An export changes nothing, and a file it says it wrote holds every record.
    void expectExport(const State &before, const State &after, Program &p, const std::string &context)
    {
        EXPECT_EQ(after.records, before.records) << context;
        if (p.exitedNormally() && p.exitCode() == 0) {
            QFile csv(path(QStringLiteral("out.csv")));
            ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << context;
            EXPECT_EQ(csv.readAll().count("\r\n"), before.records.size() + 1) << context;
        }
    }

    const QString convert = program("ZEFTO_FAULTS_CONVERT", ZEFTO_CONVERT);
    const QString records = program("ZEFTO_FAULTS_RECORDS", ZEFTO_RECORDS);
    QList<QVariantList> m_fields; // of the records one whole run of the report stores
    std::unique_ptr<Program> m_program;
};

TEST_F(FaultInjectionTest, EveryRunUnderFaultsLeavesTheTableAndTheLogInAgreement)
{
    // Several probabilities of the faults that matter: memory, reads, writes, syncs, opens.
    const struct {
        const char *name;
        double probability;
    } faults[] = {{"libc/mm/malloc", 0.00005}, {"libc/mm/malloc", 0.0003}, {"libc/mm/*", 0.001},
                  {"posix/io/rw/*", 0.01},     {"posix/io/rw/*", 0.05},     {"posix/io/rw/pread", 0.03},
                  {"posix/io/rw/pwrite", 0.05}, {"posix/io/sync/*", 0.2},  {"posix/io/oc/*", 0.05}};
    constexpr int convertsPerFault = 24;
    std::mt19937 choose(17);
    int runs = 0, failedRuns = 0, killed = 0;
    State now = state();
    for (const auto &f : faults) {
        const QString fault = QStringLiteral("enable_random name=%1,probability=%2").arg(QLatin1String(f.name)).arg(f.probability);
        for (int i = 0; i < convertsPerFault; ++i) {
            const std::string context = fault.toStdString() + ", run " + std::to_string(i);
            const State before = now;
            Program &p = run(fault, convert, {QStringLiteral("--again"), QStringLiteral("--database"), db(),
                                              QStringLiteral("r.txt")});
            const State after = now = state();
            ASSERT_NO_FATAL_FAILURE(expectSound(after, "convert: " + context + "\n" + p.transcript()));
            ASSERT_NO_FATAL_FAILURE(expectConversion(before, after, p, context + "\n" + p.transcript()));
            failedRuns += p.exitCode() != 0 || !p.exitedNormally();
            killed += !p.exitedNormally();
            ++runs;
            if (i % 3 == 1) {
                std::vector<qint64> live;
                for (const QVariantList &e : after.log)
                    if (!e[4].toBool())
                        live.push_back(e[0].toLongLong());
                const qint64 id = live.empty() ? 1 : live[choose() % live.size()];
                Program &u = run(fault, records, {QStringLiteral("--database"), db(), QStringLiteral("undo"),
                                                  QString::number(id)});
                const State undone = now = state();
                ASSERT_NO_FATAL_FAILURE(expectSound(undone, "undo: " + context + "\n" + u.transcript()));
                ASSERT_NO_FATAL_FAILURE(expectUndo(after, undone, id, u, context + "\n" + u.transcript()));
                failedRuns += u.exitCode() != 0 || !u.exitedNormally();
                ++runs;
            } else if (i % 3 == 2) {
                QFile::remove(path(QStringLiteral("out.csv")));
                Program &e = run(fault, records, {QStringLiteral("--database"), db(), QStringLiteral("export"),
                                                  QStringLiteral("out.csv")});
                ASSERT_NO_FATAL_FAILURE(expectExport(after, state(), e, context + "\n" + e.transcript()));
                failedRuns += e.exitCode() != 0 || !e.exitedNormally();
                ++runs;
            }
        }
    }
    EXPECT_GE(runs, 300);
    // Faults that never struck would prove nothing.
    EXPECT_GT(failedRuns, runs / 10) << failedRuns << " of " << runs << " runs failed";
    std::cout << runs << " runs, " << failedRuns << " failed under the faults, " << killed
              << " of the conversions ended by a signal (an abort in a library)\n";
}

} // namespace
