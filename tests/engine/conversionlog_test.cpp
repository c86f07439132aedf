#include "mahalle.h"
#include "runfixture.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSysInfo>

using zefto::Conversion;
using zefto::RunOutcome;
using End = zefto::RunOutcome::End;

namespace {

// The conversion log, the duplicate guard and undo, as every backend keeps them.
class LogTest : public BackendRunTest {
protected:
    // The log as another program reads it.
    std::vector<Conversion> log()
    {
        zefto::Database other;
        other.setReadOnly(true);
        other.open(databaseName(), zefto::Missing::Refuse);
        return other.conversions();
    }

    qint64 undo(qint64 id)
    {
        zefto::Database other;
        other.open(databaseName(), zefto::Missing::Refuse);
        return other.undoConversion(id, QStringLiteral("tester"));
    }

    QString undoRefusal(qint64 id)
    {
        try {
            undo(id);
        } catch (const zefto::Error &e) {
            return QStringLiteral("%1 %2").arg(e.number()).arg(e.description());
        }
        return QString();
    }

    void execute(const QString &sql)
    {
        if (server)
            server->query(sql);
        else
            rawRows(path(QStringLiteral("ovrek1.mdb")), sql);
    }

    QList<qint64> keys()
    {
        QList<qint64> out;
        for (const QVariantList &r : rows(QStringLiteral("id")))
            out << r[0].toLongLong();
        return out;
    }

    static QString sha256(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    // Table lines of n owners carrying `tag`, so that each tag gives other bytes.
    static std::vector<QByteArray> table(const QString &tag, int n, const QString &father = QStringLiteral("DOĞAN"))
    {
        std::vector<QByteArray> lines;
        for (int i = 0; i < n; ++i) {
            report::Row r = report::sampleRow(i);
            r.father = father;
            r.owner = QStringLiteral("%1 %2").arg(tag).arg(i);
            lines.push_back(report::ownerLine(r));
        }
        return lines;
    }
    // A whole report of 31 such owners that ends "Converted".
    static std::vector<QByteArray> tagged(const QString &tag, int n = 31) { return report::paginate(table(tag, n)); }
};

INSTANTIATE_TEST_SUITE_P(Backends, LogTest, ::testing::Values(Backend::File, Backend::Postgres), backendName);

} // namespace

TEST_P(LogTest, EveryCommittedEndIsLoggedWithWhatItDidAndARolledBackRunIsNot)
{
    // Converted: 31 records (lines 10..40), the report's bytes, who and where.
    const std::vector<QByteArray> lines = tagged(QStringLiteral("FIRST"));
    const QByteArray bytes = report::join(lines);
    window.path = write(QStringLiteral("report.txt"), bytes);
    const RunOutcome converted = engine.Command1_Click();
    ASSERT_EQ(converted.end, End::Converted);
    std::vector<Conversion> entries = log();
    ASSERT_EQ(entries.size(), 1u);
    const Conversion &c = entries[0];
    EXPECT_EQ(c.id, converted.conversionId);
    EXPECT_EQ(c.outcome, QStringLiteral("Converted"));
    EXPECT_EQ(c.errorNumber, 0);
    EXPECT_EQ(c.records, 31);
    EXPECT_EQ(c.reportPath, path(QStringLiteral("report.txt")));
    EXPECT_EQ(c.reportSize, bytes.size());
    EXPECT_EQ(c.sha256, sha256(bytes));
    EXPECT_EQ(c.mahalle, QStringLiteral("Tarçınbağı"));
    EXPECT_EQ(c.linesInReport, int(lines.size()));
    EXPECT_EQ(c.linesRead, converted.linesRead);
    EXPECT_EQ(c.host, QSysInfo::machineHostName());
    EXPECT_FALSE(c.user.isEmpty());
    EXPECT_TRUE(c.startedAt.endsWith(u'Z')) << c.startedAt.toStdString();
    EXPECT_LE(c.startedAt, c.endedAt);
    EXPECT_FALSE(c.undone());
    const QList<qint64> stored = keys();
    ASSERT_EQ(stored.size(), 31);
    EXPECT_EQ(c.firstKey, stored.front());
    EXPECT_EQ(c.lastKey, stored.back());

    // " Invalid file ": the literal, no error number.
    EXPECT_EQ(run(report::paginate(table(QStringLiteral("NOG"), 3, QStringLiteral("AHMET")))).end, End::InvalidFile);
    // Failed part-way: the error's line and number, the records before it.
    std::vector<QByteArray> bad = table(QStringLiteral("BAD"), 20);
    report::Row mismatch = report::sampleRow(5);
    mismatch.newShare = QStringLiteral("1,5/2");
    bad[5] = report::ownerLine(mismatch);
    EXPECT_EQ(run(report::paginate(bad)).end, End::Failed);
    // A warning: a blank line with data lines after it.
    std::vector<QByteArray> gap = table(QStringLiteral("GAP"), 30);
    gap[10] = QByteArray();
    EXPECT_EQ(run(report::paginate(gap)).end, End::Incomplete);
    // Interrupted: taken back, and nothing of it in the log.
    window.interruptAfterLines = 20;
    EXPECT_EQ(run(tagged(QStringLiteral("STOP"))).end, End::Interrupted);
    window.interruptAfterLines = -1;

    entries = log();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].outcome, QStringLiteral(" Invalid file "));
    EXPECT_EQ(entries[1].errorNumber, 0);
    EXPECT_EQ(entries[1].records, 3);
    EXPECT_EQ(entries[2].outcome,
              QStringLiteral("Error 13: Type mismatch: the share numerator '  1,5' is not a number"))
        << entries[2].outcome.toStdString();
    EXPECT_EQ(entries[2].errorNumber, 13);
    EXPECT_EQ(entries[2].records, 5);
    EXPECT_EQ(entries[2].linesRead, 15);
    EXPECT_EQ(entries[3].outcome,
              QStringLiteral("The conversion stopped at line 20 of '%1': a required column is empty (Field 'yada' "
                             "cannot be a zero-length string.)")
                  .arg(path(QStringLiteral("report.txt"))));
    EXPECT_EQ(entries[3].errorNumber, 3315) << entries[3].outcome.toStdString();
    EXPECT_EQ(entries[3].records, 10);
    // Ids in the order the runs committed, each run's keys right after the one before.
    for (size_t i = 1; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].id, entries[i - 1].id + 1);
        EXPECT_EQ(entries[i].firstKey, entries[i - 1].lastKey + 1);
    }
    EXPECT_EQ(rows().size(), 31 + 3 + 5 + 10);
}

TEST_P(LogTest, TheSameBytesAreADuplicateUnderAnyNameUntilUndone)
{
    const QByteArray bytes = report::join(tagged(QStringLiteral("ONCE")));
    window.path = write(QStringLiteral("first.txt"), bytes);
    const RunOutcome first = engine.Command1_Click();
    ASSERT_EQ(first.end, End::Converted);
    const Conversion earlier = log().at(0);

    // The same bytes under another name: asked, refused, nothing stored or logged.
    window.convertAgain = false;
    window.boxes.clear();
    window.path = write(QStringLiteral("copy.txt"), bytes);
    const RunOutcome refused = engine.Command1_Click();
    EXPECT_EQ(refused.end, End::Duplicate);
    ASSERT_TRUE(refused.earlier.has_value());
    EXPECT_EQ(refused.earlier->id, earlier.id);
    // On a server the role it authenticated (the tests' superuser) stands beside the client's login.
    const QString by =
        backend() == Backend::Postgres ? earlier.user + QStringLiteral(" (server role: postgres)") : earlier.user;
    EXPECT_EQ(window.questions,
              QStringList(QStringLiteral("This report was already converted on %1 by %2: 31 records (Converted). "
                                         "Convert it again?")
                              .arg(zefto::conversionlog::shownTime(earlier.startedAt), by)));
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(rows().size(), 31);
    EXPECT_EQ(log().size(), 1u);
    expectUsable();

    // Other bytes are not asked about.
    window.questions.clear();
    EXPECT_EQ(run(tagged(QStringLiteral("OTHER"))).end, End::Converted);
    EXPECT_TRUE(window.questions.isEmpty());

    // "Convert again" stores it a second time; the newest conversion is named after that.
    window.convertAgain = true;
    window.path = path(QStringLiteral("copy.txt"));
    EXPECT_EQ(engine.Command1_Click().end, End::Converted);
    EXPECT_EQ(window.questions.size(), 1);
    EXPECT_EQ(rows().size(), 31 * 3);

    // Undone, both copies: no longer on record, so no question.
    EXPECT_EQ(undo(3), 31);
    EXPECT_EQ(undo(1), 31);
    window.questions.clear();
    window.convertAgain = false;
    EXPECT_EQ(engine.Command1_Click().end, End::Converted);
    EXPECT_TRUE(window.questions.isEmpty());
}

TEST_P(LogTest, UndoRemovesExactlyItsRecordsOnceAndRefusesWhatChanged)
{
    for (const char *tag : {"A", "B", "C"})
        ASSERT_EQ(run(tagged(QString::fromLatin1(tag))).end, End::Converted);
    const QList<qint64> all = keys();
    ASSERT_EQ(all.size(), 93);

    // An earlier conversion: only its records go, the entry stays, marked.
    EXPECT_EQ(undo(2), 31);
    EXPECT_EQ(keys(), all.mid(0, 31) + all.mid(62));
    const Conversion b = log().at(1);
    EXPECT_TRUE(b.undone());
    EXPECT_EQ(b.undoneBy, QStringLiteral("tester"));
    EXPECT_EQ(log().size(), 3u);

    const QString db = server ? server->uri() : path(QStringLiteral("ovrek1.mdb"));
    EXPECT_EQ(undoRefusal(2), QStringLiteral("3197 Conversion 2 of '%1' was already undone on %2 by tester; nothing "
                                             "was removed.")
                                  .arg(db, zefto::conversionlog::shownTime(b.undoneAt)));
    EXPECT_EQ(undoRefusal(9),
              QStringLiteral("3265 The log of '%1' holds no conversion 9; nothing was removed.").arg(db));

    // A record of the last one deleted by hand: refused, saying how many are left.
    execute(QStringLiteral("DELETE FROM ovrekson WHERE id = %1").arg(all[70]));
    EXPECT_EQ(undoRefusal(3), QStringLiteral("3197 Conversion 3 of '%1' stored 31 records (keys %2 to %3), but only 30 "
                                             "of them are still in ovrekson; nothing was removed.")
                                  .arg(db)
                                  .arg(all[62])
                                  .arg(all[92]));
    EXPECT_EQ(rows().size(), 61);
    EXPECT_FALSE(log().at(2).undone());

    // The last one's keys are never given again, even where the file could.
    EXPECT_EQ(undo(1), 31);
    execute(QStringLiteral("DELETE FROM ovrekson"));
    EXPECT_EQ(run(tagged(QStringLiteral("D"))).end, End::Converted);
    EXPECT_EQ(keys().front(), all.back() + 1);
    EXPECT_EQ(log().back().firstKey, all.back() + 1);
}

TEST_P(LogTest, TheNeighbourhoodChosenGoesIntoEveryRecordAndTheLog)
{
    engine.mahalle = QStringLiteral("Kocatepe");
    ASSERT_EQ(run(tagged(QStringLiteral("M"), 12)).end, End::Converted);
    const QList<QVariantList> stored = rows(QStringLiteral("mahalle"));
    ASSERT_EQ(stored.size(), 12);
    for (const QVariantList &r : stored)
        EXPECT_EQ(r[0].toString(), QStringLiteral("Kocatepe"));
    EXPECT_EQ(log().at(0).mahalle, QStringLiteral("Kocatepe"));
}

TEST(Mahalle, TheOptionThenTheEnvironmentThenTheDefaultAndNeverBlank)
{
    qunsetenv(zefto::mahalle::environmentVariable);
    EXPECT_EQ(zefto::mahalle::chosen(std::nullopt), QStringLiteral("Tarçınbağı"));
    qputenv(zefto::mahalle::environmentVariable, "Yenişehir");
    EXPECT_EQ(zefto::mahalle::chosen(std::nullopt), QStringLiteral("Yenişehir"));
    EXPECT_EQ(zefto::mahalle::chosen(QStringLiteral("Kale")), QStringLiteral("Kale"));
    for (const QString &blank : {QString(), QStringLiteral("  \t")}) {
        try {
            zefto::mahalle::chosen(blank);
            ADD_FAILURE() << "a blank name was taken";
        } catch (const zefto::Error &e) {
            EXPECT_EQ(e.description(), QStringLiteral("The neighbourhood (--mahalle) is empty or blank; name one."));
        }
    }
    qputenv(zefto::mahalle::environmentVariable, " ");
    try {
        zefto::mahalle::chosen(std::nullopt);
        ADD_FAILURE() << "a blank ZEFTO_MAHALLE was taken";
    } catch (const zefto::Error &e) {
        EXPECT_EQ(e.description(), QStringLiteral("The neighbourhood named by ZEFTO_MAHALLE is empty or blank; name "
                                                  "one, or unset ZEFTO_MAHALLE for \"Tarçınbağı\"."));
    }
    qunsetenv(zefto::mahalle::environmentVariable);
}
