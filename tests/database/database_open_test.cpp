#include "dbtestutil.h"
#include "readonly.h"
#include "schema.h"
#include "tempdir.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using zefto::Database;

class DatabaseOpenTest : public TempDirTest {
protected:
    // Creates a file with the given SQL run through a connection of its own.
    void makeFile(const QString &name, const QStringList &statements)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
            db.setDatabaseName(path(name));
            ASSERT_TRUE(db.open());
            for (const QString &s : statements) {
                QSqlQuery q(db);
                ASSERT_TRUE(q.exec(s)) << s.toStdString();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("maker"));
    }
};

TEST_F(DatabaseOpenTest, AMissingFileIsCreatedWithTheTableDefinition)
{
    Database db;
    db.open(QStringLiteral("ovrek1.mdb"));
    EXPECT_EQ(db.path(), path(QStringLiteral("ovrek1.mdb")));
    db.close();
    const auto rows = rawRows(path(QStringLiteral("ovrek1.mdb")),
                              QStringLiteral("SELECT name FROM pragma_table_info('ovrekson') WHERE name <> 'id'"));
    QStringList names;
    for (const auto &r : rows)
        names << r[0].toString();
    EXPECT_EQ(names, zefto::schema::fieldNames());
}

TEST_F(DatabaseOpenTest, AnEmptyFileOrAnEmptyDatabaseGetsTheTable)
{
    write(QStringLiteral("touched.mdb"), QByteArray());
    makeFile(QStringLiteral("cut-short.mdb"), {QStringLiteral("PRAGMA journal_mode=WAL")});
    for (const char *name : {"touched.mdb", "cut-short.mdb"}) {
        Database db;
        EXPECT_NO_THROW(db.open(QString::fromLatin1(name))) << name;
        EXPECT_NO_THROW(db.openRecordset(QStringLiteral("ovrekson")));
    }
}

TEST_F(DatabaseOpenTest, TheNameIsResolvedAgainstTheCurrentDirectoryAtOpening)
{
    QDir().mkdir(path(QStringLiteral("sub")));
    QDir::setCurrent(path(QStringLiteral("sub")));
    Database db;
    db.open(QStringLiteral("ovrek1.mdb"));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("sub/ovrek1.mdb"))));
    QDir::setCurrent(path(QString()));
    EXPECT_EQ(db.path(), path(QStringLiteral("sub/ovrek1.mdb")));
}

TEST_F(DatabaseOpenTest, FilesThatCannotServeGetTheirOwnNumberAndNameThePath)
{
    write(QStringLiteral("text.mdb"),
          QByteArray("this is not a database, just a text file that is long enough\n").repeated(20));
    makeFile(QStringLiteral("other.mdb"), {QStringLiteral("CREATE TABLE something(x)")});
    makeFile(QStringLiteral("nofield.mdb"),
             {QStringLiteral("CREATE TABLE ovrekson(id INTEGER PRIMARY KEY, yada TEXT)")});
    QString loose = zefto::schema::createStatement();
    loose.replace(QStringLiteral("CONSTRAINT \"eada\" CHECK (eada <> '')"), QString());
    makeFile(QStringLiteral("loose.mdb"), {loose});
    // Made by hand elsewhere: not strict, and a block number typed as a number would turn '  300' into 300.
    QString typed = zefto::schema::createStatement();
    typed.replace(QStringLiteral("yada TEXT"), QStringLiteral("yada INTEGER"))
        .replace(QStringLiteral(") STRICT"), QStringLiteral(")"));
    makeFile(QStringLiteral("typed.mdb"), {typed});
    QString numeric = zefto::schema::createStatement();
    numeric.replace(QStringLiteral("mahalle TEXT"), QStringLiteral("mahalle DECIMAL"))
        .replace(QStringLiteral(") STRICT"), QStringLiteral(")"));
    makeFile(QStringLiteral("numeric.mdb"), {numeric});

    struct Case {
        const char *file;
        int number;
        const char *words;
    } cases[] = {
        {"text.mdb", 3343, "Unrecognized database format"},
        {"other.mdb", 3078, "has no table 'ovrekson'"},
        {"nofield.mdb", 3372, "has no field 'yparsel'"},
        {"loose.mdb", 3372, "'eada'"},
        {"typed.mdb", 3372, "The field 'yada' of table 'ovrekson'"},
        {"numeric.mdb", 3372, "The field 'mahalle' of table 'ovrekson'"},
    };
    for (const Case &c : cases) {
        Database db;
        QString description;
        EXPECT_EQ(errorNumber([&] { db.open(QString::fromUtf8(c.file)); }, &description), c.number) << c.file;
        EXPECT_TRUE(description.contains(path(QString::fromUtf8(c.file)))) << description.toStdString();
        EXPECT_TRUE(description.contains(QString::fromUtf8(c.words))) << description.toStdString();
        EXPECT_FALSE(db.isOpen());
    }
}

TEST_F(DatabaseOpenTest, ATableMadeElsewhereBeforeAFirstRunIsCheckedAsAtOpening)
{
    Database db;
    db.open(QStringLiteral("new.mdb"), zefto::Missing::CreateForRun);
    QString loose = zefto::schema::createStatement();
    loose.replace(QStringLiteral("CONSTRAINT \"eada\" CHECK (eada <> '')"), QString());
    makeFile(QStringLiteral("new.mdb"), {loose});
    QString description;
    EXPECT_EQ(errorNumber([&] { db.beginRun([](bool) {}); }, &description), 3372);
    EXPECT_TRUE(description.contains(QStringLiteral("'eada'"))) << description.toStdString();
}

TEST_F(DatabaseOpenTest, ADirectoryOrAnUnwritableFileIsRefusedBeforeAnythingIsWritten)
{
    QDir().mkdir(path(QStringLiteral("dir.mdb")));
    Database db;
    EXPECT_EQ(errorNumber([&] { db.open(QStringLiteral("dir.mdb")); }), 3051);

    {
        Database make;
        make.open(QStringLiteral("ro.mdb"));
    }
    ReadOnly lock(path(QStringLiteral("ro.mdb")));
    if (!lock.effective())
        GTEST_SKIP() << "this file system cannot make a file read-only for this user";
    QString description;
    EXPECT_EQ(errorNumber([&] { db.open(QStringLiteral("ro.mdb")); }, &description), 3027);
    EXPECT_TRUE(description.contains(path(QStringLiteral("ro.mdb"))));
}

TEST_F(DatabaseOpenTest, TextFieldsDeclaredAnotherWayThatKeepTextAreAccepted)
{
    QString declared = zefto::schema::createStatement();
    declared.replace(QStringLiteral("yada TEXT"), QStringLiteral("yada VARCHAR(5)"))
        .replace(QStringLiteral("yparsel TEXT"), QStringLiteral("yparsel"))
        .replace(QStringLiteral(") STRICT"), QStringLiteral(")"));
    makeFile(QStringLiteral("declared.mdb"), {declared});
    Database db;
    ASSERT_NO_THROW(db.open(QStringLiteral("declared.mdb")));
    zefto::Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs);
    rs.setField(QStringLiteral("yada"), zefto::Value::text(QStringLiteral("  300")));
    rs.setField(QStringLiteral("yparsel"), zefto::Value::text(QStringLiteral("07")));
    rs.update();
    rs.close();
    db.close();
    const auto rows =
        rawRows(path(QStringLiteral("declared.mdb")), QStringLiteral("SELECT yada, yparsel FROM ovrekson"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toString(), QStringLiteral("  300"));
    EXPECT_EQ(rows[0][1].toString(), QStringLiteral("07"));
}

TEST_F(DatabaseOpenTest, ANewFileIsReadableByTheSqliteShellAndRefusesWhatStrictRefused)
{
    {
        Database make;
        make.open(QStringLiteral("new.mdb"));
    }
    QFile::copy(path(QStringLiteral("new.mdb")), path(QStringLiteral("shell.mdb")));
    // No STRICT: the shell (and SQLite before 3.37) reads the table and every column.
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-header"), path(QStringLiteral("shell.mdb")),
                 QStringLiteral("INSERT INTO ovrekson(yada) VALUES('1'); SELECT * FROM ovrekson")});
    ASSERT_TRUE(shell.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()).section(u'\n', 0, 0),
              QStringLiteral("id|") + zefto::schema::fieldNames().join(u'|'));
    EXPECT_FALSE(rawRows(path(QStringLiteral("new.mdb")), QStringLiteral("SELECT sql FROM sqlite_master"))
                     .value(0)
                     .value(0)
                     .toString()
                     .contains(QStringLiteral("STRICT")));

    // Made STRICT by an earlier version: opened and written as before.
    makeFile(QStringLiteral("strict.mdb"), {zefto::schema::strictCreateStatement()});
    const struct {
        const char *file;
        const char *values;
        bool stored;
    } cases[] = {
        {"new.mdb", "'  300', 1250.5, 'Kale'", true}, {"strict.mdb", "'  300', 1250.5, 'Kale'", true},
        {"new.mdb", "'', 1, 'Kale'", false},          {"new.mdb", "x'00', 1, 'Kale'", false},
        {"new.mdb", "'1', 'abc', 'Kale'", false},     {"new.mdb", "'1', 1, x'41'", false},
        {"new.mdb", "12, '7.5', NULL", true},         {"strict.mdb", "'1', 'abc', 'Kale'", false},
    };
    for (const auto &c : cases) {
        Database db;
        ASSERT_NO_THROW(db.open(QString::fromLatin1(c.file))) << c.file;
        db.close();
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        raw.setDatabaseName(path(QString::fromLatin1(c.file)));
        ASSERT_TRUE(raw.open());
        EXPECT_EQ(QSqlQuery(raw).exec(QStringLiteral("INSERT INTO ovrekson(yada, ealan, mahalle) VALUES(%1)")
                                          .arg(QString::fromLatin1(c.values))),
                  c.stored)
            << c.file << ": " << c.values;
        raw.close();
        raw = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    // A number given to a text field is kept as its text, as STRICT did.
    EXPECT_EQ(
        rawRows(path(QStringLiteral("new.mdb")), QStringLiteral("SELECT typeof(yada), typeof(ealan) FROM ovrekson "
                                                                "WHERE mahalle IS NULL")),
        (QList<QVariantList>{{QStringLiteral("text"), QStringLiteral("real")}}));
}
