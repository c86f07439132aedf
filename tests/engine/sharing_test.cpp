#include "runfixture.h"

#include <QFile>
#include <QSqlQuery>

using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

std::vector<QByteArray> blocksOfRows(int blocks)
{
    return report::paginate(report::sampleTable(blocks * 50 - 2));
}

QString db()
{
    return QDir::current().absoluteFilePath(QStringLiteral("ovrek1.mdb"));
}

int count(const QString &file)
{
    return rawRows(file, QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt();
}

} // namespace

TEST_F(RunTest, ADatabaseRemovedAfterLoadIsReportedAndNotMadeAgain)
{
    ASSERT_TRUE(QFile::remove(db()));
    const RunOutcome o = run(blocksOfRows(1));
    EXPECT_EQ(o.end, End::NotStarted);
    EXPECT_EQ(o.errorNumber, 3024);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt,
              QStringLiteral("Nothing was converted.\n\nThe database '%1' no longer exists; nothing was converted.")
                  .arg(db()));
    EXPECT_FALSE(QFile::exists(db()));
    expectUsable();

    // Nor after a run that closed it at its "Converted" end.
    engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    ASSERT_TRUE(QFile::remove(db()));
    EXPECT_EQ(run(blocksOfRows(1)).errorNumber, 3024);
    EXPECT_FALSE(QFile::exists(db()));
}

TEST_F(RunTest, ADatabaseRemovedOrReplacedDuringARunIsNotReportedAsConverted)
{
    // Removed: the records went to a file nobody can reach.
    window.onValue = [&](float v) {
        if (v == 30)
            QFile::remove(db());
    };
    const RunOutcome removed = run(blocksOfRows(2));
    EXPECT_EQ(removed.end, End::Failed);
    EXPECT_EQ(removed.errorNumber, 3024);
    EXPECT_EQ(removed.recordsStored, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_TRUE(window.boxes[0].prompt.contains(
        QStringLiteral("The database '%1' was removed or replaced during the conversion; its 98 records are not in it.")
            .arg(db())));
    EXPECT_FALSE(QFile::exists(db()));

    // Replaced: the run fails, and the next run writes into the file now at the path.
    window.onValue = nullptr;
    engine.useDatabase(QStringLiteral("ovrek1.mdb"));
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    window.onValue = [&](float v) {
        if (v == 30) {
            QFile::rename(db(), path(QStringLiteral("old.mdb")));
            QFile::copy(path(QStringLiteral("old.mdb")), db());
        }
    };
    window.boxes.clear();
    EXPECT_EQ(run(blocksOfRows(1)).errorNumber, 3024);
    EXPECT_EQ(count(db()), 48);
    EXPECT_EQ(count(path(QStringLiteral("old.mdb"))), 48);
    window.onValue = nullptr;
    EXPECT_EQ(run(blocksOfRows(1)).end, End::Converted);
    EXPECT_EQ(count(db()), 96);
    EXPECT_EQ(count(path(QStringLiteral("old.mdb"))), 48);
}

TEST_F(RunTest, TheFileAloneHoldsEveryRecordAndNoSideFilesStay)
{
    // " Invalid file " leaves the database open: a copy taken now must be complete.
    const RunOutcome o = run(pages(123));
    ASSERT_EQ(o.end, End::InvalidFile);
    ASSERT_TRUE(engine.db.isOpen());
    ASSERT_TRUE(QFile::copy(db(), path(QStringLiteral("copy.mdb"))));
    EXPECT_EQ(count(path(QStringLiteral("copy.mdb"))), o.recordsStored);
    EXPECT_EQ(o.recordsStored, 100);
    for (const char *side : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(QFile::exists(db() + QLatin1String(side))) << side;
    EXPECT_EQ(rawRows(db(), QStringLiteral("PRAGMA journal_mode"))[0][0].toString(), QStringLiteral("delete"));
}

TEST_F(RunTest, AFileLeftInWriteAheadModeIsSwitchedBackWhenOpened)
{
    engine.db.close();
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wal"));
        other.setDatabaseName(db());
        ASSERT_TRUE(other.open());
        QSqlQuery(other).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("wal"));
    engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    EXPECT_EQ(rawRows(db(), QStringLiteral("PRAGMA journal_mode"))[0][0].toString(), QStringLiteral("delete"));
    EXPECT_FALSE(QFile::exists(db() + QStringLiteral("-wal")));
    EXPECT_EQ(count(db()), 48);
}

TEST_F(RunTest, AnInterruptedRunIsTakenBackWhole)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    window.boxes.clear();
    window.interruptAfterLines = 75; // inside the second block
    const RunOutcome o = run(blocksOfRows(3));
    EXPECT_EQ(o.end, End::Interrupted);
    EXPECT_EQ(o.recordsStored, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].prompt, QStringLiteral("interrupted: nothing of %1 was stored").arg(window.path));
    EXPECT_EQ(count(db()), 48);
    expectUsable();
}

TEST_F(RunTest, AnInterruptedFirstRunIntoAMissingFileLeavesItsEmptyTableForTheNext)
{
    engine.db.close();
    engine.useDatabase(QStringLiteral("new.mdb"));
    const QString file = QDir::current().absoluteFilePath(QStringLiteral("new.mdb"));
    window.interruptAfterLines = 75;
    EXPECT_EQ(run(blocksOfRows(3)).end, End::Interrupted);
    EXPECT_EQ(rawRows(file, QStringLiteral("SELECT count(*) FROM sqlite_master"))[0][0].toInt(), 1);
    window.interruptAfterLines = -1;
    EXPECT_EQ(run(blocksOfRows(1)).end, End::Converted);
    EXPECT_EQ(count(file), 48);
}

TEST_F(RunTest, AProgramInTheMiddleOfReadingNeitherKeepsTheFileFromOpeningNorTheRunFromEnding)
{
    ASSERT_EQ(run(blocksOfRows(1)).end, End::Converted);
    QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
    reader.setDatabaseName(db());
    ASSERT_TRUE(reader.open());
    QSqlQuery(reader).exec(QStringLiteral("BEGIN"));
    QSqlQuery read(reader);
    ASSERT_TRUE(read.exec(QStringLiteral("SELECT count(*) FROM ovrekson")));
    ASSERT_TRUE(read.next());

    // Opening checks the table with a probe that must not wait for the reader to finish.
    engine.db.setBusyTimeout(300);
    engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    // The run itself waits for the reader only to commit; the reader ends meanwhile.
    window.onValue = [&](float v) {
        if (v == 40) {
            read.finish();
            QSqlQuery(reader).exec(QStringLiteral("COMMIT"));
        }
    };
    window.boxes.clear();
    const RunOutcome o = run(blocksOfRows(1));
    EXPECT_EQ(o.end, End::Converted) << window.boxes.front().prompt.toStdString();
    EXPECT_EQ(count(db()), 96);
    reader.close();
    reader = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
}
