#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

// The tools under libfiu's random malloc and I/O faults, each run judged from outside by the file.
namespace {

class FaultInjectionTest : public TempDirTest, public testing::WithParamInterface<int> {
protected:
    QString db() const { return path(QStringLiteral("t.mdb")); }

    // As `fiu-run -x -f '' -c FAULT TOOL...` runs it.
    Program &run(const QString &fault, const QString &tool, const QStringList &args)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FIU_ENABLE"), fault);
        environment.insert(QStringLiteral("FIU_CTRL_FIFO"), QString());
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FIU_PRELOADS));
        m_program = std::make_unique<Program>(tool, path(QString()),
                                              QStringList{QStringLiteral("--database"), db()} + args, environment);
        EXPECT_TRUE(m_program->finish());
        return *m_program;
    }

    // The records (key, then fields), after checking the file is whole and that every live log
    // entry covers exactly its count of contiguous records, which together are all there are.
    QList<QVariantList> soundRecords(const std::string &context)
    {
        EXPECT_EQ(rawRows(db(), QStringLiteral("PRAGMA integrity_check")).value(0).value(0), QStringLiteral("ok"));
        const auto records =
            rawRows(db(), QStringLiteral("SELECT id, %1 FROM ovrekson ORDER BY id").arg(recordColumns()));
        qint64 live = 0;
        for (const QVariantList &e :
             rawRows(db(), QStringLiteral("SELECT records, ifnull(first_key, 0), ifnull(last_key, "
                                          "0), undone_at IS NULL FROM zefto_conversions"))) {
            const qint64 n = e[0].toLongLong(), first = e[1].toLongLong(), last = e[2].toLongLong();
            const auto inRange = std::count_if(records.begin(), records.end(), [&](const QVariantList &r) {
                return r[0].toLongLong() >= first && r[0].toLongLong() <= last;
            });
            EXPECT_EQ(inRange, e[3].toBool() ? n : 0) << context;
            if (e[3].toBool()) {
                EXPECT_TRUE(n > 0 && last - first + 1 == n)
                    << n << " records, keys " << first << "-" << last << context;
                live += n;
            }
        }
        EXPECT_EQ(live, records.size()) << "records no live entry covers" << context;
        return records;
    }

    std::unique_ptr<Program> m_program;
};

// A claim that records are in the table: "records stored 12", "12 records were stored", "12 records removed".
qint64 claimed(const QString &said)
{
    static const QRegularExpression claim(
        QStringLiteral("records stored (\\d+)|(\\d+) records? (?:w(?:as|ere) stored|removed)"));
    qint64 most = 0;
    for (auto it = claim.globalMatch(said); it.hasNext();) {
        const auto m = it.next();
        most = std::max(most, (m.captured(1) + m.captured(2)).toLongLong());
    }
    return most;
}

// The kinds of fault, dealt to three tests that run side by side, each on a database of its own.
constexpr const char *faults[] = {
    "libc/mm/malloc,probability=0.00005",  "libc/mm/malloc,probability=0.0003", "libc/mm/*,probability=0.001",
    "posix/io/rw/*,probability=0.01",      "posix/io/rw/*,probability=0.05",    "posix/io/rw/pread,probability=0.03",
    "posix/io/rw/pwrite,probability=0.05", "posix/io/sync/*,probability=0.2",   "posix/io/oc/*,probability=0.05"};
constexpr int shards = 3;

TEST_P(FaultInjectionTest, EveryRunUnderFaultsLeavesTheTableAndTheLogInAgreement)
{
    // Another build's programs can be named to judge them the same way.
    const QString convert = qEnvironmentVariable("ZEFTO_FAULTS_CONVERT", QStringLiteral(ZEFTO_CONVERT)),
                  tool = qEnvironmentVariable("ZEFTO_FAULTS_RECORDS", QStringLiteral(ZEFTO_RECORDS));
    write(QStringLiteral("r.txt"), report::join(report::paginate(report::sampleTable(30))));
    ASSERT_EQ(run(QString(), convert, {QStringLiteral("r.txt")}).exitCode(), 0);
    QList<QVariantList> before = soundRecords(""), whole;
    for (const QVariantList &r : before)
        whole << r.mid(1);
    int runs = 0, failed = 0;
    for (size_t k = GetParam(); k < std::size(faults); k += shards) {
        const QString fault = QStringLiteral("enable_random name=") + QLatin1String(faults[k]);
        for (int i = 0; i < 36; ++i, ++runs) {
            const int kind = i % 4 == 1 ? 1 : i % 4 == 3 ? 2 : 0; // convert twice as often as undo or export
            const std::string context = "\n" + fault.toStdString() + ", run " + std::to_string(i) + "\n";
            // Conversions, with an undo of the newest entry or an export of everything after each.
            const QVariantList newest = rawRows(db(), QStringLiteral("SELECT id, records FROM zefto_conversions WHERE "
                                                                     "undone_at IS NULL ORDER BY id DESC LIMIT 1"))
                                            .value(0);
            const QString undo = newest.value(0).toString();
            QFile::remove(path(QStringLiteral("out.csv")));
            Program &p = run(fault, kind == 0 ? convert : tool,
                             {QString::fromLatin1(kind == 0   ? "--again"
                                                  : kind == 1 ? "undo"
                                                              : "export"),
                              kind == 0   ? QStringLiteral("r.txt")
                              : kind == 1 ? undo
                                          : QStringLiteral("out.csv")});
            const QList<QVariantList> after = soundRecords(context + p.transcript());
            const bool ok = p.exitedNormally() && p.exitCode() == 0;
            failed += !ok;
            const qint64 change = after.size() - before.size(), told = claimed(p.out() + p.err());
            if (kind == 0) {
                // The records of the report from its start: all, none, or those before a failed line.
                ASSERT_EQ(after.mid(0, before.size()), before) << context << p.transcript();
                for (qsizetype r = before.size(); r < after.size(); ++r)
                    ASSERT_EQ(after[r].mid(1), whole[r - before.size()]) << context << p.transcript();
                EXPECT_TRUE(!ok || change == whole.size())
                    << "exit 0 with records missing" << context << p.transcript();
            } else if (kind == 1) {
                EXPECT_TRUE(change == 0 || change == -newest.value(1).toLongLong()) << context << p.transcript();
                EXPECT_TRUE(!ok || change < 0) << "exit 0, nothing removed" << context << p.transcript();
            } else {
                EXPECT_EQ(change, 0) << context;
                QFile csv(path(QStringLiteral("out.csv")));
                EXPECT_TRUE(!ok || (csv.open(QIODevice::ReadOnly) && csv.readAll().count("\r\n") == after.size() + 1))
                    << context << p.transcript();
            }
            EXPECT_TRUE(told == 0 || told == std::abs(change)) << told << " claimed" << context << p.transcript();
            before = after;
        }
    }
    EXPECT_GT(failed, runs / 10) << "faults that never struck prove nothing";
    std::cout << runs << " runs, " << failed << " failed under the faults\n";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultInjectionTest, testing::Range(0, shards));

} // namespace
