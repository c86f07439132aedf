#include "dbtestutil.h"
#include "processes.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>

// Converters started together on one database: each run waits for the write lock, so runs follow one another whole.
class ConcurrencyTest : public TempDirTest {
protected:
    struct Alone {
        QString out;                 // what the converter prints for the report
        QList<QVariantList> records; // what it stores, in insertion order
    };

    void SetUp() override
    {
        TempDirTest::SetUp();
        m_dir = QDir(path(QString())).canonicalPath();
    }

    // One owner throughout; every later page opens with a continuation row, which reads back the record stored last.
    QString ownerReport(const QString &name, const QString &owner, const QString &father, int firstRow, int rows)
    {
        std::vector<QByteArray> table;
        for (int i = 0; i < rows; ++i) {
            report::Row r = report::sampleRow(firstRow + i);
            r.owner = owner;
            r.father = father;
            table.push_back(i > 0 && i % 50 == 0 ? report::continuationLine(r) : report::ownerLine(r));
        }
        write(name, report::join(report::paginate(table)));
        return name;
    }

    std::unique_ptr<Program> start(const QString &database, const QString &report)
    {
        return std::make_unique<Program>(QStringLiteral(ZEFTO_CONVERT), path(QString()),
                                         QStringList{QStringLiteral("--database"), database, report});
    }

    QList<QVariantList> stored(const QString &database) const
    {
        return rawRows(path(database), QStringLiteral("SELECT %1 FROM ovrekson ORDER BY id").arg(recordColumns()));
    }

    // The report converted by itself into a fresh database.
    Alone alone(const QString &report)
    {
        const QString database = QStringLiteral("alone-") + report + QStringLiteral(".mdb");
        const std::unique_ptr<Program> p = start(database, report);
        EXPECT_TRUE(p->finish());
        EXPECT_EQ(p->exitCode(), 0) << p->transcript();
        EXPECT_TRUE(p->out().startsWith(report + QStringLiteral(": Converted\n  lines read "))) << p->transcript();
        EXPECT_EQ(p->err(), QString());
        return {p->out(), stored(database)};
    }

    // What a run that has to wait prints on standard error, once.
    QString waitingLine(const QString &database) const
    {
        return QStringLiteral("waiting for another program to finish writing %1/%2\u2026\n").arg(m_dir, database);
    }

    static qint64 claimed(const QString &out)
    {
        static const QRegularExpression summary(QStringLiteral("^  lines read \\d+ of \\d+, records stored (\\d+), "
                                                               "stopped at line \\d+$"),
                                                QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = summary.match(out);
        EXPECT_TRUE(m.hasMatch()) << out.toStdString();
        return m.captured(1).toLongLong();
    }

    // The records of two runs, each run's together and as it stores them alone.
    static void expectEachRunWhole(const QList<QVariantList> &got, const Alone &a, const Alone &b)
    {
        ASSERT_EQ(got.size(), a.records.size() + b.records.size());
        const bool aFirst = !got.isEmpty() && got.first() == a.records.first();
        const QList<QVariantList> expected = aFirst ? a.records + b.records : b.records + a.records;
        for (qsizetype r = 0; r < got.size(); ++r)
            ASSERT_EQ(got[r], expected[r])
                << "record " << r + 1 << " of " << got.size() << ", the run of " << (aFirst ? "A" : "B") << " first";
    }

    QString m_dir; // as the converter resolves it
};

TEST_F(ConcurrencyTest, TwoConvertersStartedAtOnceOnAMissingDatabaseStoreEveryRecordTheyClaim)
{
    const Alone a =
        alone(ownerReport(QStringLiteral("a.txt"), QStringLiteral("ÇAĞLAR ÖZTÜRK"), QStringLiteral("DOĞAN"), 0, 60));
    const Alone b =
        alone(ownerReport(QStringLiteral("b.txt"), QStringLiteral("GÜLŞEN ÜNAL"), QStringLiteral("AĞAH"), 500, 55));
    ASSERT_EQ(a.records.size(), 60);
    ASSERT_EQ(b.records.size(), 55);

    for (int pair = 0; pair < 20; ++pair) {
        SCOPED_TRACE(testing::Message() << "pair " << pair);
        const QString name = QStringLiteral("pair%1.mdb").arg(pair);
        ASSERT_FALSE(QFile::exists(path(name)));
        const std::unique_ptr<Program> first = start(name, QStringLiteral("a.txt"));
        const std::unique_ptr<Program> second = start(name, QStringLiteral("b.txt"));
        ASSERT_TRUE(first->finish());
        ASSERT_TRUE(second->finish());

        EXPECT_EQ(first->exitCode(), 0) << first->transcript();
        EXPECT_EQ(second->exitCode(), 0) << second->transcript();
        EXPECT_EQ(anyConversion(first->out()), anyConversion(a.out));
        EXPECT_EQ(anyConversion(second->out()), anyConversion(b.out));
        // Whichever had to wait says so once; the other says nothing there.
        for (const Program *p : {first.get(), second.get()})
            EXPECT_TRUE(p->err().isEmpty() || p->err() == waitingLine(name)) << p->transcript();

        const qint64 claims = claimed(first->out()) + claimed(second->out());
        EXPECT_EQ(rawRows(path(name), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toLongLong(), claims);
        EXPECT_TRUE(journalFiles(path(name)).isEmpty()) << journalFiles(path(name)).join(u' ').toStdString();
        ASSERT_NO_FATAL_FAILURE(expectEachRunWhole(stored(name), a, b));
    }
}

TEST_F(ConcurrencyTest, ARunWaitsForTheWriteLockSaysSoOnceAndThenStoresItsRecords)
{
    const Alone a =
        alone(ownerReport(QStringLiteral("a.txt"), QStringLiteral("ÇAĞLAR ÖZTÜRK"), QStringLiteral("DOĞAN"), 0, 120));
    const Alone b =
        alone(ownerReport(QStringLiteral("b.txt"), QStringLiteral("GÜLŞEN ÜNAL"), QStringLiteral("AĞAH"), 500, 75));
    const QString name = QStringLiteral("held.mdb");
    {
        const std::unique_ptr<Program> p = start(name, QStringLiteral("b.txt"));
        ASSERT_TRUE(p->finish());
        ASSERT_EQ(p->exitCode(), 0) << p->transcript();
    }

    // Another program holds the write lock until the converter says it waits.
    OtherConnection writer(path(name), 0);
    ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
    const std::unique_ptr<Program> p = start(name, QStringLiteral("a.txt"));
    ASSERT_TRUE(p->waitForErr(waitingLine(name))) << p->transcript();
    EXPECT_TRUE(p->running());
    const auto whileWaiting = writer.exec(QStringLiteral("SELECT count(*) FROM ovrekson"));
    ASSERT_TRUE(whileWaiting);
    EXPECT_EQ(whileWaiting->first().first().toLongLong(), b.records.size());
    ASSERT_TRUE(writer.exec(QStringLiteral("ROLLBACK")));

    ASSERT_TRUE(p->finish());
    EXPECT_EQ(p->exitCode(), 0) << p->transcript();
    EXPECT_EQ(anyConversion(p->out()), anyConversion(a.out));
    EXPECT_EQ(p->err(), waitingLine(name));
    const QList<QVariantList> got = stored(name);
    ASSERT_EQ(got.size(), b.records.size() + a.records.size());
    const QList<QVariantList> expected = b.records + a.records;
    for (qsizetype r = 0; r < got.size(); ++r)
        ASSERT_EQ(got[r], expected[r]) << "record " << r + 1;
}

TEST_F(ConcurrencyTest, TwoRunsAtOnceNeverInterleaveAndEachStoresWhatItStoresAlone)
{
    // Six pages each: five continuation rows per report that must read back their own run's record.
    const Alone a =
        alone(ownerReport(QStringLiteral("a.txt"), QStringLiteral("ÇAĞLAR ÖZTÜRK"), QStringLiteral("DOĞAN"), 0, 300));
    const Alone b =
        alone(ownerReport(QStringLiteral("b.txt"), QStringLiteral("GÜLŞEN ÜNAL"), QStringLiteral("AĞAH"), 500, 300));
    ASSERT_EQ(a.records.size(), 300);
    ASSERT_EQ(b.records.size(), 300);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const QString name = QStringLiteral("both%1.mdb").arg(round);
        {
            zefto::Database made;
            ASSERT_NO_THROW(made.open(path(name)));
        }
        // Both converters wait on another program's lock, then on each other.
        OtherConnection writer(path(name), 0);
        ASSERT_TRUE(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
        const std::unique_ptr<Program> first = start(name, QStringLiteral("a.txt"));
        const std::unique_ptr<Program> second = start(name, QStringLiteral("b.txt"));
        ASSERT_TRUE(first->waitForErr(waitingLine(name))) << first->transcript();
        ASSERT_TRUE(second->waitForErr(waitingLine(name))) << second->transcript();
        ASSERT_TRUE(writer.exec(QStringLiteral("ROLLBACK")));
        ASSERT_TRUE(first->finish());
        ASSERT_TRUE(second->finish());

        for (const Program *p : {first.get(), second.get()}) {
            EXPECT_EQ(p->exitCode(), 0) << p->transcript();
            EXPECT_EQ(p->err(), waitingLine(name));
        }
        EXPECT_EQ(anyConversion(first->out()), anyConversion(a.out));
        EXPECT_EQ(anyConversion(second->out()), anyConversion(b.out));
        ASSERT_NO_FATAL_FAILURE(expectEachRunWhole(stored(name), a, b));
    }
}

TEST_F(ConcurrencyTest, AfterARunTheDatabaseFileAloneHoldsEveryRecord)
{
    const Alone a =
        alone(ownerReport(QStringLiteral("a.txt"), QStringLiteral("ÇAĞLAR ÖZTÜRK"), QStringLiteral("DOĞAN"), 0, 120));
    const Alone b =
        alone(ownerReport(QStringLiteral("b.txt"), QStringLiteral("GÜLŞEN ÜNAL"), QStringLiteral("AĞAH"), 500, 75));
    ASSERT_TRUE(QDir(path(QString())).mkdir(QStringLiteral("copy")));
    const QString name = QStringLiteral("ovrek1.mdb");
    QList<QVariantList> expected;
    for (const auto &[report, run] : {std::pair{QStringLiteral("a.txt"), &a}, std::pair{QStringLiteral("b.txt"), &b}}) {
        SCOPED_TRACE(report.toStdString());
        const std::unique_ptr<Program> p = start(name, report);
        ASSERT_TRUE(p->finish());
        ASSERT_EQ(p->exitCode(), 0) << p->transcript();
        expected += run->records;

        // Nothing but the file itself: it is what a user copies or mails on.
        EXPECT_TRUE(journalFiles(path(name)).isEmpty()) << journalFiles(path(name)).join(u' ').toStdString();
        const auto mode = rawRows(path(name), QStringLiteral("PRAGMA journal_mode"));
        EXPECT_EQ(mode[0][0].toString(), QStringLiteral("delete"));
        const QString copy = path(QStringLiteral("copy/") + name);
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(path(name), copy));
        const QList<QVariantList> got = stored(QStringLiteral("copy/") + name);
        ASSERT_EQ(got.size(), expected.size());
        for (qsizetype r = 0; r < got.size(); ++r)
            ASSERT_EQ(got[r], expected[r]) << "record " << r + 1;
    }
}
