#include "dbtestutil.h"
#include "pgserver.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>

namespace {

enum class Backend { File, Postgres };

// zefto-convert and zefto-records together, on a file and on a server.
class RecordsTest : public TempDirTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        if (GetParam() == Backend::Postgres) {
            server = std::make_unique<PgDatabase>();
            ASSERT_TRUE(server->isRunning());
        }
    }

    struct Result {
        int status;
        QByteArray out;
        QString err;
        QString text() const { return QString::fromUtf8(out); }
    };

    QString database() const { return server ? server->uri() : path(QStringLiteral("ovrek1.mdb")); }

    QProcess *start(const char *program, const QStringList &args)
    {
        auto *p = new QProcess;
        p->setWorkingDirectory(QDir::currentPath());
        p->start(QString::fromUtf8(program), QStringList{QStringLiteral("--database"), database()} + args);
        return p;
    }

    Result finish(QProcess *p)
    {
        EXPECT_TRUE(p->waitForFinished(120000));
        Result r{p->exitCode(), p->readAllStandardOutput(), QString::fromUtf8(p->readAllStandardError())};
        delete p;
        return r;
    }

    Result convert(const QStringList &args) { return finish(start(ZEFTO_CONVERT, args)); }
    Result records(const QStringList &args) { return finish(start(ZEFTO_RECORDS, args)); }

    qint64 count()
    {
        const QString sql = QStringLiteral("SELECT count(*) FROM ovrekson");
        return (server ? server->query(sql) : rawRows(database(), sql)).value(0).value(0).toLongLong();
    }

    // A report of n owners whose names carry `tag`; with Ğ in the fathers' names unless told.
    QString report(const QString &name, const QString &tag, int n, bool withG = true)
    {
        std::vector<QByteArray> lines;
        for (int i = 0; i < n; ++i) {
            report::Row r = report::sampleRow(i);
            if (!withG)
                r.father = QStringLiteral("AHMET");
            if (i % 7 == 3)
                r.owner = tag + QStringLiteral(" IŞIK");
            lines.push_back(report::ownerLine(r));
        }
        return write(name, report::join(report::paginate(lines)));
    }

    // Runs SQL on the backend under test.
    QList<QVariantList> sql(const QString &statement)
    {
        return server ? server->query(statement) : rawRows(database(), statement);
    }

    // `program` with `args` under `env`, standard output to `stdoutFile` unless empty.
    Result run(const QString &program, const QStringList &args, const QStringList &env = {},
               const QString &stdoutFile = {})
    {
        auto *p = new QProcess;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString &kv : env)
            e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        p->setProcessEnvironment(e);
        if (!stdoutFile.isEmpty())
            p->setStandardOutputFile(stdoutFile);
        p->start(program, args);
        return finish(p);
    }

    std::unique_ptr<PgDatabase> server;
};

INSTANTIATE_TEST_SUITE_P(Backends, RecordsTest, ::testing::Values(Backend::File, Backend::Postgres),
                         [](const auto &info) { return info.param == Backend::File ? "File" : "Postgres"; });

} // namespace

TEST_P(RecordsTest, ASecondConversionOfTheSameBytesIsRefusedWithThreeUntilAgainOrUndo)
{
    const QString first = report(QStringLiteral("first.txt"), QStringLiteral("ALİ"), 30);
    ASSERT_EQ(convert({first}).status, 0);
    ASSERT_EQ(count(), 30);

    // The same bytes under another name: exit 3, the earlier conversion named, nothing stored.
    QFile::copy(first, path(QStringLiteral("copy.txt")));
    Result r = convert({path(QStringLiteral("copy.txt"))});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("%1 was already converted on ").arg(path(QStringLiteral("copy.txt")))))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(
        QStringLiteral(": 30 records (Converted) as conversion 1 of %1; nothing was stored.").arg(database())))
        << r.err.toStdString();
    EXPECT_EQ(count(), 30);

    // Most severe first: a failure over a duplicate, a duplicate over " Invalid file ".
    const QString invalid = report(QStringLiteral("invalid.txt"), QStringLiteral("VELİ"), 5, false);
    EXPECT_EQ(convert({invalid, first}).status, 3);
    EXPECT_EQ(convert({first, path(QStringLiteral("missing.txt"))}).status, 2);
    EXPECT_EQ(count(), 35);

    // --again stores it; undoing both copies makes it new again.
    r = convert({QStringLiteral("--again"), first});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(count(), 65);
    r = records({QStringLiteral("undo"), QStringLiteral("last")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.text().startsWith(QStringLiteral("Undoing conversion 3 of "))) << r.text().toStdString();
    EXPECT_TRUE(
        r.text().endsWith(QStringLiteral(": 30 records from %1\nConversion 3 undone: 30 records removed from %2\n")
                              .arg(first, database())))
        << r.text().toStdString();
    EXPECT_EQ(records({QStringLiteral("undo"), QStringLiteral("1")}).status, 0);
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(convert({first}).status, 0);
    EXPECT_EQ(count(), 35);

    // Undo refusals say why and exit 2; usage mistakes exit 64.
    r = records({QStringLiteral("undo"), QStringLiteral("1")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(
        QStringLiteral("zefto-records: error 3197: Conversion 1 of '%1' was already undone on ").arg(database())))
        << r.err.toStdString();
    r = records({QStringLiteral("undo"), QStringLiteral("77")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, QStringLiteral("zefto-records: error 3265: The log of '%1' holds no conversion 77; nothing was "
                                    "removed.\n")
                         .arg(database()));
    for (const QStringList &usage :
         {QStringList{QStringLiteral("undo")}, QStringList{QStringLiteral("remove"), QStringLiteral("1")},
          QStringList{QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("html")},
          QStringList{QStringLiteral("undo"), QStringLiteral("first")}})
        EXPECT_EQ(records(usage).status, 64) << usage.join(u' ').toStdString();
    EXPECT_EQ(convert({QStringLiteral("--mahalle"), QStringLiteral("  "), first}).status, 64);
}

TEST_P(RecordsTest, TwoConvertersStartingTheSameReportAtOnceStoreItOnce)
{
    const QString r = report(QStringLiteral("same.txt"), QStringLiteral("AYNI"), 400);
    if (server) {
        ASSERT_EQ(convert({report(QStringLiteral("seed.txt"), QStringLiteral("SEED"), 2)}).status, 0);
    }
    QProcess *a = start(ZEFTO_CONVERT, {r});
    QProcess *b = start(ZEFTO_CONVERT, {r});
    const int sa = finish(a).status, sb = finish(b).status;
    EXPECT_EQ(std::min(sa, sb), 0);
    EXPECT_EQ(std::max(sa, sb), 3);
    EXPECT_EQ(count(), (server ? 2 : 0) + 400);
}

TEST_P(RecordsTest, ADryRunChangesNothingAndPrintsExactlyTheRecordsTheRunThenStores)
{
    const QString first = report(QStringLiteral("a.txt"), QStringLiteral("ÖNCE"), 12);
    ASSERT_EQ(convert({QStringLiteral("--mahalle"), QStringLiteral("Kale"), first}).status, 0);
    const QString second = report(QStringLiteral("b.txt"), QStringLiteral("SONRA"), 70, false);
    QByteArray fileBefore;
    if (!server) {
        QFile f(database());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        fileBefore = f.readAll();
    }
    const Result dry =
        convert({QStringLiteral("--dry-run"), QStringLiteral("--mahalle"), QStringLiteral("Kale"), second});
    EXPECT_EQ(dry.status, 1);
    EXPECT_TRUE(dry.err.contains(QStringLiteral(" Invalid file ")));
    EXPECT_TRUE(
        dry.err.contains(QStringLiteral("70 records would be stored, but no father's name needed the Ğ repair")))
        << dry.err.toStdString();
    EXPECT_EQ(count(), 12);
    if (!server) {
        QFile f(database());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), fileBefore);
        EXPECT_FALSE(QFile::exists(database() + QStringLiteral("-journal")));
    }

    const Result real = convert({QStringLiteral("--mahalle"), QStringLiteral("Kale"), second});
    EXPECT_EQ(real.status, 1);
    EXPECT_TRUE(real.text().contains(QStringLiteral("records stored 70, stopped at line")));
    const Result shown = records({QStringLiteral("show"), QStringLiteral("--conversion"), QStringLiteral("last"),
                                  QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(dry.out, shown.out);
    EXPECT_EQ(dry.out.count("\r\n"), 71);

    // A dry run of a report on record: 3, as the real run, its records still printed.
    const Result again = convert({QStringLiteral("--dry-run"), second});
    EXPECT_EQ(again.status, 3);
    EXPECT_EQ(again.out.count("\r\n"), 71);
    EXPECT_EQ(count(), 82);

    // A database that does not exist is an empty table, and is not made.
    if (!server) {
        const Result none = convert(
            {QStringLiteral("--dry-run"), QStringLiteral("--database"), path(QStringLiteral("none.mdb")), first});
        EXPECT_EQ(none.status, 0) << none.err.toStdString();
        EXPECT_EQ(none.out.count("\r\n"), 13);
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("none.mdb"))));
    }
}

TEST_P(RecordsTest, AFolderWhereNothingWasConvertedIsNoErrorToReadButNothingToExportOrUndo)
{
    if (server)
        GTEST_SKIP() << "only a folder can be without a database";
    const QString said =
        QStringLiteral("zefto-records: No conversion has been made in %1 yet (there is no ovrek1.mdb there).\n")
            .arg(QDir::toNativeSeparators(QFileInfo(database()).absolutePath()));
    const struct {
        QStringList args;
        int status;
    } cases[] = {{{QStringLiteral("log")}, 0},
                 {{QStringLiteral("show")}, 0},
                 {{QStringLiteral("export"), path(QStringLiteral("out.csv"))}, 2},
                 {{QStringLiteral("undo"), QStringLiteral("last")}, 2}};
    for (const auto &c : cases) {
        const Result r = records(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(u' ').toStdString();
        EXPECT_EQ(r.err, said);
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(database()));
}

TEST_P(RecordsTest, LogShowFilterAndExportAsCsvAndXlsx)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("ÇİFTÇİ"), 20)}).status, 0);
    ASSERT_EQ(convert({report(QStringLiteral("b.txt"), QStringLiteral("KAYA"), 10)}).status, 0);

    Result log = records({QStringLiteral("log"), QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(log.status, 0);
    const QStringList lines = log.text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    // A server's log also names the role the server proved (the test server's superuser).
    const bool onServer = GetParam() == Backend::Postgres;
    EXPECT_EQ(lines[0], QStringLiteral("id,started_at,ended_at,user_name,host,report_path,report_size,report_sha256,"
                                       "mahalle,lines_in_report,lines_read,outcome,error_number,records,first_key,"
                                       "last_key,undone_at,undone_by,rule1_checked,rule1_broken,rule1_unreadable,"
                                       "rule2_checked,rule2_broken,rule2_unreadable,rule3_checked,rule3_broken,"
                                       "rule3_unreadable,rule4_checked,rule4_broken,rule4_unreadable%1")
                            .arg(onServer ? QStringLiteral(",role_name") : QString()));
    QFile a(path(QStringLiteral("a.txt")));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    const QByteArray aBytes = a.readAll();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1,")));
    EXPECT_TRUE(lines[1].contains(
        QStringLiteral(",%1,%2,%3,Tarçınbağı,")
            .arg(path(QStringLiteral("a.txt")))
            .arg(aBytes.size())
            .arg(QString::fromLatin1(QCryptographicHash::hash(aBytes, QCryptographicHash::Sha256).toHex()))))
        << lines[1].toStdString();
    // Ten owners, each alone on a new parcel: the six without 1/1 hold a share short of the whole,
    // and no deed or allocation follows from its row's figures.
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",Converted,,10,21,30,,,10,6,0,10,6,0,10,10,0,10,10,0%1")
                                      .arg(onServer ? QStringLiteral(",postgres") : QString())))
        << lines[2].toStdString();

    // The filter folds case and letter marks: "cifci" finds Çiftçi, "ISIK" finds Işık.
    Result shown = records({QStringLiteral("show"), QStringLiteral("--filter"), QStringLiteral("cIFTcI"),
                            QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(shown.status, 0);
    // The three tagged owners and the sample's own Zeynep Çiftçi (row 13).
    EXPECT_EQ(shown.out.count("\r\n"), 1 + 4);
    EXPECT_TRUE(shown.text().contains(QStringLiteral(",Çiftçi,Işık,")));
    shown = records({QStringLiteral("show"), QStringLiteral("--filter"), QStringLiteral("isik"),
                     QStringLiteral("--conversion"), QStringLiteral("2"), QStringLiteral("--format"),
                     QStringLiteral("csv")});
    // Üst Işık and İkinci Işık (rows 0 and 1) and the tagged Kaya Işık (row 3).
    EXPECT_EQ(shown.out.count("\r\n"), 1 + 3);
    EXPECT_TRUE(shown.text().contains(QStringLiteral(",Kaya,Işık,")));
    const Result all = records({QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(all.out.count("\r\n"), 31);
    // Blanks kept as stored, numbers as numbers.
    EXPECT_TRUE(all.out.startsWith("yada,yparsel,"));
    const Result table = records({QStringLiteral("show")});
    EXPECT_EQ(table.text().count(u'\n'), 31);

    // CSV export: a byte-order mark, then exactly what show prints; never over a file without --force.
    EXPECT_EQ(records({QStringLiteral("export"), QStringLiteral("out.csv")}).status, 0);
    QFile csv(path(QStringLiteral("out.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), QByteArray("\xEF\xBB\xBF") + all.out);
    Result again = records({QStringLiteral("export"), QStringLiteral("out.csv")});
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(again.err, QStringLiteral("zefto-records: '%1' already exists; --force writes over it.\n")
                             .arg(path(QStringLiteral("out.csv"))));
    EXPECT_EQ(records({QStringLiteral("export"), QStringLiteral("out.csv"), QStringLiteral("--force"),
                       QStringLiteral("--conversion"), QStringLiteral("2")})
                  .status,
              0);
    EXPECT_EQ(records({QStringLiteral("export"), QStringLiteral("out.txt")}).status, 64);

    // XLSX export read back by openpyxl: the same cells as the CSV, numbers as numbers.
    ASSERT_EQ(records({QStringLiteral("export"), QStringLiteral("out.xlsx"), QStringLiteral("--conversion"),
                       QStringLiteral("1")})
                  .status,
              0);
    QProcess py;
    py.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "import openpyxl,sys\n"
             "ws=openpyxl.load_workbook(sys.argv[1])['ovrekson']\n"
             "print(ws.freeze_panes)\n"
             "for row in ws.iter_rows(values_only=True):\n"
             "  print('|'.join('<none>' if v is None else (repr(v) if isinstance(v,float) else v) for v in row))\n"),
         path(QStringLiteral("out.xlsx"))});
    ASSERT_TRUE(py.waitForFinished(60000));
    const QStringList sheet = QString::fromUtf8(py.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(sheet.size(), 1 + 1 + 20) << py.readAllStandardError().toStdString();
    EXPECT_EQ(sheet[0], QStringLiteral("A2"));
    const Result first = records({QStringLiteral("show"), QStringLiteral("--conversion"), QStringLiteral("1"),
                                  QStringLiteral("--format"), QStringLiteral("csv")});
    const QStringList csvLines = first.text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(csvLines.size(), 21);
    for (int i = 0; i < 21; ++i) {
        QStringList cells = csvLines[i].split(u',');
        for (QString &c : cells)
            if (c.isEmpty())
                c = QStringLiteral("<none>");
        EXPECT_EQ(sheet[i + 1], cells.join(u'|')) << i;
    }
}

TEST_P(RecordsTest, ARefusedLogEntryTakesBackItsWholeRunAndTheNextReportLogsOnlyItself)
{
    ASSERT_EQ(convert({report(QStringLiteral("first.txt"), QStringLiteral("BİR"), 10)}).status, 0);
    sql(server ? QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                                "NEW.report_path LIKE '%big%' THEN RAISE EXCEPTION 'log refused'; END IF; RETURN NEW; "
                                "END $$; CREATE TRIGGER nolog BEFORE INSERT ON zefto_conversions FOR EACH ROW EXECUTE "
                                "FUNCTION refuse()")
               : QStringLiteral("CREATE TRIGGER nolog BEFORE INSERT ON zefto_conversions WHEN new.report_path LIKE "
                                "'%big%' BEGIN SELECT raise(abort, 'log refused'); END"));
    const QString big = report(QStringLiteral("big.txt"), QStringLiteral("BÜYÜK"), 60);
    const QString small = report(QStringLiteral("small.txt"), QStringLiteral("KÜÇÜK"), 7);
    const Result r = convert({big, small});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.text().startsWith(big + QStringLiteral(": Error "))
                && r.text().contains(QStringLiteral(", records stored 0, "))
                && r.text().contains(small + QStringLiteral(": Converted\n")))
        << r.text().toStdString();
    EXPECT_EQ(count(), 17);
    const auto log =
        sql(QStringLiteral("SELECT report_path, records, last_key - first_key FROM zefto_conversions ORDER BY id"));
    EXPECT_EQ(log.size(), 2);
    EXPECT_EQ(log.value(1), (QVariantList{small, 7, 6}));
}

TEST_P(RecordsTest, UndoDeletesOnlyWhatTheLogProvesAndLastIsTheClerksOwnNewest)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("A"), 30)}).status, 0);
    ASSERT_EQ(convert({report(QStringLiteral("b.txt"), QStringLiteral("B"), 20)}).status, 0);
    ASSERT_EQ(convert({report(QStringLiteral("c.txt"), QStringLiteral("C"), 10)}).status, 0);
    const auto keys = sql(QStringLiteral("SELECT first_key, last_key FROM zefto_conversions ORDER BY id"));
    const qint64 aFirst = keys[0][0].toLongLong(), aLast = keys[0][1].toLongLong(), bFirst = keys[1][0].toLongLong(),
                 bLast = keys[1][1].toLongLong();
    // Log entry 2 edited by hand; each edit is refused with its reason, and nothing is removed.
    const struct {
        QString edit, reason;
    } cases[] = {
        {QStringLiteral("first_key = %1, last_key = %2, records = 25").arg(aLast - 4).arg(bLast),
         QStringLiteral("is logged with keys %1 to %2, which overlap those of conversion 1 (keys %3 to %4); nothing "
                        "was removed.")
             .arg(aLast - 4)
             .arg(bLast)
             .arg(aFirst)
             .arg(aLast)},
        {QStringLiteral("records = 40"),
         QStringLiteral("is logged with 40 records and keys %1 to %2, which do not agree; nothing was removed.")
             .arg(bFirst)
             .arg(bLast)},
        {QStringLiteral("records = 5"),
         QStringLiteral("stored 5 records (keys %1 to %2), but 20 records lie in that range of ovrekson; nothing was "
                        "removed.")
             .arg(bFirst)
             .arg(bLast)},
        {QStringLiteral("first_key = NULL"),
         QStringLiteral("is logged with 20 records and keys 0 to %1, which do not agree; nothing was removed.")
             .arg(bLast)},
    };
    for (const auto &c : cases) {
        sql(QStringLiteral("UPDATE zefto_conversions SET %1 WHERE id = 2").arg(c.edit));
        EXPECT_EQ(records({QStringLiteral("undo"), QStringLiteral("2")}).err,
                  QStringLiteral("zefto-records: error 3197: Conversion 2 of '%1' %2\n").arg(database(), c.reason));
        EXPECT_EQ(count(), 60);
        sql(QStringLiteral("UPDATE zefto_conversions SET first_key = %1, last_key = %2, records = 20 WHERE id = 2")
                .arg(bFirst)
                .arg(bLast));
    }

    // Another clerk's newest conversion is not this clerk's "last".
    sql(QStringLiteral("UPDATE zefto_conversions SET user_name = 'başka' WHERE id = 3"));
    EXPECT_TRUE(records({QStringLiteral("undo"), QStringLiteral("last")})
                    .text()
                    .startsWith(QStringLiteral("Undoing conversion 2 of ")));
    EXPECT_EQ(count(), 40);

    // A run that stored nothing leaves no entry, so "last" passes over nothing.
    write(QStringLiteral("empty.txt"), report::join(report::paginate({})));
    convert({path(QStringLiteral("empty.txt"))});
    EXPECT_EQ(sql(QStringLiteral("SELECT count(*) FROM zefto_conversions"))[0][0].toInt(), 3);
    EXPECT_TRUE(records({QStringLiteral("undo"), QStringLiteral("last")})
                    .text()
                    .startsWith(QStringLiteral("Undoing conversion 1 of ")));
    EXPECT_EQ(count(), 10);
}

TEST_P(RecordsTest, EveryConversionIsCheckedAndCheckListsEachBrokenParcelOnce)
{
    // 60 rows in 24 new parcels; the break puts new parcel 300/6's first share at 272/546 beside 273/545.
    const auto holding = [&](const QString &name, report::ShareBreak b) {
        return write(name, report::join(report::paginate(report::holdingTable(60, b))));
    };
    Result r = convert({holding(QStringLiteral("good.txt"), {})});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.text().endsWith(QStringLiteral("\nshares: 24 new parcels, all add up\n"))) << r.text().toStdString();
    r = convert({holding(QStringLiteral("broken.txt"), {1, 5})});
    EXPECT_EQ(r.status, 0) << r.text().toStdString(); // what the check finds never changes a run's end
    EXPECT_TRUE(r.text().endsWith(
        QStringLiteral("\nshares: 1 of 24 new parcels does not add up (zefto-records check --conversion 2)\n")))
        << r.text().toStdString();

    const QString finding = QStringLiteral(
        "rule 1  300/6: shares add up to 148649/148785, not 1 (2 owners)\n"
        "rule 1, shares make one whole: 24 parcels checked, 1 broken, 0 unreadable\n");
    r = records({QStringLiteral("check"), QStringLiteral("--conversion"), QStringLiteral("2")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.text().startsWith(finding)) << r.text().toStdString();
    EXPECT_EQ(r.text().count(QStringLiteral("\nrule ")), 4); // the finding, then four summaries
    EXPECT_EQ(records({QStringLiteral("check"), QStringLiteral("--conversion"), QStringLiteral("1")}).status, 0);
    r = records({QStringLiteral("check"), QStringLiteral("--conversion"), QStringLiteral("last"),
                 QStringLiteral("--skip-rule"), QStringLiteral("1"), QStringLiteral("--format"),
                 QStringLiteral("csv")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.text(), QStringLiteral("rule,finding,yada,yparsel,key,first_key,last_key,text\r\n"));
    EXPECT_TRUE(
        r.err.startsWith(QStringLiteral("rule 1, shares make one whole: skipped\n"
                                        "rule 2, share areas make the parcel's area: 24 parcels checked")))
        << r.err.toStdString();

    r = records({QStringLiteral("log")});
    EXPECT_TRUE(r.text().contains(QStringLiteral("all hold\n"))) << r.text().toStdString();
    EXPECT_TRUE(r.text().endsWith(QStringLiteral("rule 1: 1 broken\n"))) << r.text().toStdString();
    // Both reports hold the same new parcels: the whole table is checked once the first is undone.
    ASSERT_EQ(records({QStringLiteral("undo"), QStringLiteral("1")}).status, 0);
    r = records({QStringLiteral("check")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.text().startsWith(finding)) << r.text().toStdString();
    EXPECT_EQ(records({QStringLiteral("check"), QStringLiteral("--skip-rule"), QStringLiteral("5")}).status, 64);
    EXPECT_EQ(records({QStringLiteral("show"), QStringLiteral("--skip-rule"), QStringLiteral("1")}).status, 64);
}

// The counts a run logs come from its records as it stores them: the same as a check that reads them back.
TEST_P(RecordsTest, EachRunLogsTheCountsCheckFindsInItsRecords)
{
    const QRegularExpression summary(
        QStringLiteral("^rule (\\d), .*: (\\d+) \\w+ checked, (\\d+) broken, (\\d+) unreadable"),
        QRegularExpression::MultilineOption);
    const report::ShareBreak breaks[] = {{0, 0}, {1, 5}, {2, 3}, {3, 7}, {4, 2}, {3, 0}};
    for (size_t i = 0; i < std::size(breaks); ++i) {
        const QString name = QStringLiteral("r%1.txt").arg(i);
        write(name, report::join(report::paginate(report::holdingTable(70, breaks[i]))));
        ASSERT_EQ(convert({path(name)}).status, 0);
        const Result r = records({QStringLiteral("check"), QStringLiteral("--conversion"), QString::number(i + 1)});
        QVariantList counted;
        for (auto m = summary.globalMatch(r.text()); m.hasNext();) {
            const QRegularExpressionMatch one = m.next();
            for (int n = 2; n <= 4; ++n)
                counted << one.captured(n).toLongLong();
        }
        const QVariantList logged =
            sql(QStringLiteral("SELECT rule1_checked, rule1_broken, rule1_unreadable, rule2_checked, rule2_broken, "
                               "rule2_unreadable, rule3_checked, rule3_broken, rule3_unreadable, rule4_checked, "
                               "rule4_broken, rule4_unreadable FROM zefto_conversions WHERE id = %1")
                    .arg(i + 1))
                .value(0);
        ASSERT_EQ(counted.size(), 12) << r.text().toStdString();
        for (int n = 0; n < 12; ++n)
            EXPECT_EQ(logged.value(n).toLongLong(), counted[n].toLongLong()) << "break " << i << ", column " << n;
    }
}

TEST_P(RecordsTest, UndoLastSkipsUndoneConversionsAndNoLaterRunGetsTheirKeys)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("BİR"), 30)}).status, 0);
    ASSERT_EQ(convert({report(QStringLiteral("b.txt"), QStringLiteral("İKİ"), 20)}).status, 0);
    ASSERT_EQ(records({QStringLiteral("undo"), QStringLiteral("2")}).status, 0);

    // The newest conversion is undone already: "last" is the one before it.
    const Result r = records({QStringLiteral("undo"), QStringLiteral("last")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(
        r.text().endsWith(QStringLiteral("\nConversion 1 undone: 30 records removed from %1\n").arg(database())))
        << r.text().toStdString();
    ASSERT_EQ(count(), 0);

    // A run into the emptied table: its keys are its own, none an undone conversion's.
    ASSERT_EQ(convert({report(QStringLiteral("c.txt"), QStringLiteral("ÜÇ"), 10)}).status, 0);
    const QStringList log = records({QStringLiteral("log"), QStringLiteral("--format"), QStringLiteral("csv")})
                                .text()
                                .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
                                .mid(1);
    ASSERT_EQ(log.size(), 3);
    std::vector<std::pair<qint64, qint64>> ranges;
    for (const QString &line : log) // first_key and last_key are the 15th and 16th fields
        ranges.emplace_back(line.section(u',', 14, 14).toLongLong(), line.section(u',', 15, 15).toLongLong());
    EXPECT_EQ(ranges[2].second - ranges[2].first, 9);
    for (size_t i = 0; i < ranges.size(); ++i)
        for (size_t j = i + 1; j < ranges.size(); ++j)
            EXPECT_TRUE(ranges[i].second < ranges[j].first || ranges[j].second < ranges[i].first)
                << "conversions " << i + 1 << " and " << j + 1 << " share keys";
}

TEST_P(RecordsTest, AConversionIdTheLogDoesNotHoldIsRefusedWithTwoByEveryCommand)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("BİR"), 5)}).status, 0);
    const QString refusal = QStringLiteral("holds no conversion 77");
    for (const QStringList &args :
         {QStringList{QStringLiteral("undo"), QStringLiteral("77")},
          QStringList{QStringLiteral("show"), QStringLiteral("--conversion"), QStringLiteral("77")},
          QStringList{QStringLiteral("export"), QStringLiteral("out.csv"), QStringLiteral("--conversion"),
                      QStringLiteral("77")}}) {
        const Result r = records(args);
        EXPECT_EQ(r.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(refusal)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("out.csv"))));
    EXPECT_EQ(count(), 5);
}

TEST_P(RecordsTest, AFilterFindsItsRecordsPastTheFirstFewThousand)
{
    const std::set<int> tagged{10, 4095, 4096, 4097, 6999};
    std::vector<QByteArray> lines;
    for (int i = 0; i < 7000; ++i) {
        report::Row r = report::sampleRow(i);
        if (tagged.count(i))
            r.owner = QStringLiteral("KARAKAYALIOĞLU %1").arg(i);
        lines.push_back(report::ownerLine(r));
    }
    ASSERT_EQ(convert({write(QStringLiteral("big.txt"), report::join(report::paginate(lines)))}).status, 0);
    ASSERT_EQ(count(), 7000);
    // Typed without the Turkish letters, as the filter allows.
    const Result shown = records({QStringLiteral("show"), QStringLiteral("--filter"), QStringLiteral("karakayalioglu"),
                                  QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(shown.status, 0) << shown.err.toStdString();
    EXPECT_EQ(shown.out.count("\r\n"), 1 + qsizetype(tagged.size()));
    EXPECT_EQ(shown.out.count("Karakayalıoğlu"), qsizetype(tagged.size()));
}

TEST_P(RecordsTest, NumbersReadBackExactlyFromExportsMadeInATurkishOrCSession)
{
    if (server)
        GTEST_SKIP() << "what is written does not depend on the backend";
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("SAYI"), 3)}).status, 0);
    // Two decimals that %.16G would have written as 92952.28999999999, and one that needs 17 digits.
    const QStringList values{QStringLiteral("92952.29"), QStringLiteral("0.30000000000000004"),
                             QStringLiteral("1234567.891"), QStringLiteral("500.1")};
    sql(QStringLiteral("UPDATE ovrekson SET ealan=%1, tapu=%2, dop=%3, tahsis=%4")
            .arg(values[0], values[1], values[2], values[3]));
    QStringList files;
    for (const char *locale : {"tr_TR.UTF-8", "C"})
        for (const char *suffix : {"csv", "xlsx"}) {
            files << path(
                QStringLiteral("%1-%2.%2").arg(QString::fromLatin1(locale).left(2), QString::fromLatin1(suffix)));
            ASSERT_EQ(run(QString::fromUtf8(ZEFTO_RECORDS),
                          {QStringLiteral("--database"), database(), QStringLiteral("export"), files.last()},
                          {QStringLiteral("LANG=%1").arg(QString::fromLatin1(locale)),
                           QStringLiteral("LC_ALL=%1").arg(QString::fromLatin1(locale))})
                          .status,
                      0);
        }
    // openpyxl must read the very doubles; LibreOffice shows 15 digits, so it is compared at 15.
    static const char *script = R"(
import csv, openpyxl, subprocess, sys
expected = [float(v) for v in sys.argv[1].split(',')]
files = sys.argv[2:]
out = sys.argv[2].rsplit('/', 1)[0] + '/lo'
subprocess.run(['soffice', '-env:UserInstallation=file://' + out + '-profile', '--headless', '--convert-to',
                'csv', '--outdir', out] + files, check=True, capture_output=True, env={'LC_ALL': 'C', 'HOME': out})
for f in files:
    if f.endswith('.xlsx'):
        for row in list(openpyxl.load_workbook(f)['ovrekson'].iter_rows(values_only=True))[1:]:
            assert list(row[14:18]) == expected, ('openpyxl', f, row[14:18])
    with open(out + '/' + f.rsplit('/', 1)[1].rsplit('.', 1)[0] + '.csv', encoding='latin-1') as lo:
        for row in list(csv.reader(lo))[1:]:
            assert [float('%.15g' % float(v)) for v in row[14:18]] == [float('%.15g' % v) for v in expected], ('soffice', f, row)
print('read back', len(files))
)";
    const Result r = run(QStringLiteral("/usr/bin/python3"),
                         QStringList{QStringLiteral("-c"), QString::fromLatin1(script), values.join(u',')} + files);
    EXPECT_EQ(r.text(), QStringLiteral("read back 4\n")) << r.err.toStdString();
}

TEST_P(RecordsTest, ListingsAndExportsSeeTheTableAsBeforeOrAfterAnUndoOrARunNeverBetween)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("BİR"), 3000)}).status, 0);
    const QString big = report(QStringLiteral("b.txt"), QStringLiteral("İKİ"), 3000);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(convert({QStringLiteral("--again"), big}).status, 0);
        // Reads started while the undo (then a run) is under way: each must hold 3000 or 6000 records.
        QProcess *shown =
            start(ZEFTO_RECORDS, {QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("csv")});
        QProcess *exported = start(ZEFTO_RECORDS, {QStringLiteral("export"), QStringLiteral("t%1.csv").arg(round)});
        QProcess *writer = round % 2 ? start(ZEFTO_CONVERT, {QStringLiteral("--again"), big})
                                     : start(ZEFTO_RECORDS, {QStringLiteral("undo"), QStringLiteral("last")});
        const Result s = finish(shown), e = finish(exported), w = finish(writer);
        EXPECT_EQ(w.status, 0) << w.err.toStdString();
        ASSERT_EQ(s.status, 0) << s.err.toStdString();
        ASSERT_EQ(e.status, 0) << e.err.toStdString();
        QFile f(path(QStringLiteral("t%1.csv").arg(round)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        for (const qint64 lines : {s.out.count("\r\n") - 1, f.readAll().count("\r\n") - 1})
            EXPECT_TRUE(lines == 6000 || lines == (round % 2 ? 9000 : 3000)) << lines << " in round " << round;
        for (int left = round % 2 ? 2 : 0; left > 0; --left)
            ASSERT_EQ(records({QStringLiteral("undo"), QStringLiteral("last")}).status, 0);
    }
}

TEST_P(RecordsTest, ExportsReplaceOnlyRegularFilesAndLeaveTheOldOneWhenTheyFail)
{
    if (server)
        GTEST_SKIP() << "the target file does not depend on the backend";
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("DOSYA"), 400)}).status, 0);
    QDir().mkdir(path(QStringLiteral("folder.csv")));
    QFile::link(QStringLiteral("/dev/null"), path(QStringLiteral("device.xlsx")));
    ASSERT_EQ(run(QStringLiteral("mkfifo"), {path(QStringLiteral("fifo.csv"))}).status, 0);
    const struct {
        const char *target;
        const char *why;
    } refused[] = {{"folder.csv", "it is a folder"},
                   {"device.xlsx", "it leads to '/dev/null', a character device"},
                   {"fifo.csv", "it is a FIFO"}};
    for (const auto &c : refused) {
        const QString target = path(QString::fromLatin1(c.target));
        for (const QStringList &force : {QStringList{QStringLiteral("--force")}, QStringList{}}) {
            const Result r = records(QStringList{QStringLiteral("export"), target} + force);
            EXPECT_EQ(r.status, 2) << c.target;
            EXPECT_EQ(r.err,
                      QStringLiteral("zefto-records: Cannot write '%1': %2, not a regular file; nothing was written.\n")
                          .arg(target, QString::fromLatin1(c.why)));
        }
    }
    EXPECT_TRUE(QFileInfo(QStringLiteral("/dev/null")).isFile() == false
                && QFileInfo(path(QStringLiteral("device.xlsx"))).isSymLink());

    // A link to a regular file: the file it leads to is replaced, the link kept.
    write(QStringLiteral("real.csv"), "old");
    QFile::link(path(QStringLiteral("real.csv")), path(QStringLiteral("link.csv")));
    ASSERT_EQ(records({QStringLiteral("export"), QStringLiteral("link.csv"), QStringLiteral("--force")}).status, 0);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("link.csv"))).isSymLink());
    EXPECT_EQ(QFileInfo(path(QStringLiteral("real.csv"))).size(), QFileInfo(path(QStringLiteral("link.csv"))).size());
    EXPECT_GT(QFileInfo(path(QStringLiteral("real.csv"))).size(), 1000);

    // Past a file size limit (a full disk to the writer): the old file stays, and the cause is named.
    for (const QString &name : {QStringLiteral("old.csv"), QStringLiteral("old.xlsx")}) {
        const QByteArray old = "the previous export";
        write(name, old);
        const Result r =
            run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -f 16; exec \"$0\" \"$@\""),
                                            QString::fromUtf8(ZEFTO_RECORDS), QStringLiteral("--database"), database(),
                                            QStringLiteral("export"), path(name), QStringLiteral("--force")});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("File too large"))) << r.err.toStdString();
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(QDir(path(QString())).entryList({QStringLiteral(".old*")}, QDir::Hidden | QDir::Files),
                  QStringList());
    }
}

TEST_P(RecordsTest, AFullStandardOutputIsExitTwoForEveryCommandAndFormat)
{
    const QString r = report(QStringLiteral("a.txt"), QStringLiteral("DOLU"), 1);
    ASSERT_EQ(convert({r}).status, 0);
    const QStringList table{QStringLiteral("--format"), QStringLiteral("table")};
    const QStringList csv{QStringLiteral("--format"), QStringLiteral("csv")};
    const std::pair<const char *, QStringList> cases[] = {{ZEFTO_RECORDS, QStringList{QStringLiteral("log")} + table},
                                                          {ZEFTO_RECORDS, QStringList{QStringLiteral("log")} + csv},
                                                          {ZEFTO_RECORDS, QStringList{QStringLiteral("show")} + table},
                                                          {ZEFTO_RECORDS, QStringList{QStringLiteral("show")} + csv},
                                                          {ZEFTO_CONVERT, {QStringLiteral("--dry-run"), r}}};
    for (const auto &[program, args] : cases) {
        const Result out = run(QString::fromUtf8(program), QStringList{QStringLiteral("--database"), database()} + args,
                               {}, QStringLiteral("/dev/full"));
        EXPECT_EQ(out.status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(out.err.contains(QStringLiteral("cannot write to standard output: No space left on device"),
                                     Qt::CaseInsensitive))
            << out.err.toStdString();
    }
}

TEST_P(RecordsTest, FormulasAreTextInCsvFilesAndControlsAreEscapedInTables)
{
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("HÜCRE"), 7)}).status, 0);
    const QStringList texts{QStringLiteral("=1+2"),      QStringLiteral("+cmd|x"), QStringLiteral("-2"),
                            QStringLiteral("@SUM(A1)"),  QStringLiteral("\tx"),    QStringLiteral("\rx"),
                            QStringLiteral("a=b\x1b[2J")};
    for (int i = 0; i < texts.size(); ++i)
        sql(QStringLiteral("UPDATE ovrekson SET adi = '%1' WHERE id = (SELECT min(id) FROM ovrekson) + %2")
                .arg(texts[i])
                .arg(i));
    ASSERT_EQ(records({QStringLiteral("export"), QStringLiteral("f.csv")}).status, 0);
    QFile f(path(QStringLiteral("f.csv")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    const QByteArray exact = records({QStringLiteral("show"), QStringLiteral("--format"), QStringLiteral("csv")}).out;
    const QString table = records({QStringLiteral("show")}).text();
    const auto field = [](const QString &t) { return t.contains(u'\r') ? u'"' + t + u'"' : t; };
    for (int i = 0; i < texts.size(); ++i) {
        // The last is no formula: only a leading sign makes one.
        const QString inFile = field(i < 6 ? u'\'' + texts[i] : texts[i]);
        EXPECT_TRUE(lines[i + 1].contains(u',' + inFile + u',')) << lines[i + 1].toStdString();
        EXPECT_TRUE(exact.contains((u',' + field(texts[i]) + u',').toUtf8())) << i;
    }
    EXPECT_TRUE(table.contains(QStringLiteral("a=b\\x1b[2J"))) << table.toStdString();
    EXPECT_TRUE(table.contains(QStringLiteral("\\tx")) && table.contains(QStringLiteral("\\rx")));
    EXPECT_FALSE(table.contains(QChar(0x1b)) || table.contains(u'\r') || table.contains(u'\t'));

    const struct {
        QString name;
        int status;
    } mahalle[] = {{QString(255, u'ş'), 0},
                   {QString(256, u'ş'), 64},
                   {QStringLiteral("Kale\x1b[31m"), 64},
                   {QStringLiteral("Ka\nle"), 64}};
    for (const auto &m : mahalle)
        EXPECT_EQ(
            convert({QStringLiteral("--again"), QStringLiteral("--mahalle"), m.name, path(QStringLiteral("a.txt"))})
                .status,
            m.status)
            << m.name.size();
}

TEST_P(RecordsTest, ShowStreamsWithPeakMemoryBoundedWhateverTheCount)
{
    if (server)
        GTEST_SKIP() << "the listing's memory does not depend on the backend";
#ifdef ZEFTO_SANITIZED
    GTEST_SKIP() << "AddressSanitizer's shadow memory is not the listing's";
#endif
    ASSERT_EQ(convert({report(QStringLiteral("a.txt"), QStringLiteral("ÇOK"), 100)}).status, 0);
    // 102,400 records: held in memory, a listing of them would take some 250 MiB, four times the bound.
    for (int doubled = 0; doubled < 10; ++doubled)
        sql(QStringLiteral(
            "INSERT INTO ovrekson(yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, "
            "babaadi, epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle) "
            "SELECT yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, babaadi, "
            "epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle FROM ovrekson"));
    for (const char *format : {"table", "csv"}) {
        const Result r = run(QStringLiteral("/usr/bin/time"),
                             {QStringLiteral("-f"), QStringLiteral("peak %M"), QString::fromUtf8(ZEFTO_RECORDS),
                              QStringLiteral("--database"), database(), QStringLiteral("show"),
                              QStringLiteral("--format"), QString::fromLatin1(format)},
                             {}, QStringLiteral("/dev/null"));
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const qint64 kib = r.err.section(QStringLiteral("peak "), -1).trimmed().toLongLong();
        EXPECT_GT(kib, 0);
        EXPECT_LT(kib, 64 * 1024) << format;
    }
}
