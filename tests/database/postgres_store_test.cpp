#include "dbtestutil.h"
#include "pgserver.h"
#include "schema.h"

#include <gtest/gtest.h>
#include <latch>
#include <thread>

using zefto::Database;
using zefto::Value;

class PostgresStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }

    // The table made by hand, as an office's administrator might have.
    void makeTable(const QString &columns) { server.query(QStringLiteral("CREATE TABLE ovrekson (%1)").arg(columns)); }

    static QString nineteen(const QString &replace = {}, const QString &with = {})
    {
        QStringList cols;
        for (int i = 0; i < zefto::schema::FieldCount; ++i) {
            const QString &f = zefto::schema::fieldNames()[i];
            QString col = u'"' + f + u'"'
                          + (i >= zefto::schema::Ealan && i <= zefto::schema::Tahsis ? QStringLiteral(" float8")
                                                                                     : QStringLiteral(" text"));
            if (i < zefto::schema::requiredTextFields)
                col += QStringLiteral(" CHECK (\"%1\" <> '')").arg(f);
            cols << (f == replace ? with : col);
        }
        cols.removeAll(QString());
        return cols.join(QStringLiteral(", "));
    }

    PgDatabase server;
};

TEST_F(PostgresStoreTest, AMissingTableIsCreatedWithTheRulesOfTheFile)
{
    Database db;
    db.open(server.uri());
    EXPECT_EQ(db.path(), server.uri());
    const auto columns = server.query(
        QStringLiteral("SELECT column_name, data_type, is_identity, identity_generation FROM information_schema.columns"
                       " WHERE table_name = 'ovrekson' ORDER BY ordinal_position"));
    ASSERT_EQ(columns.size(), 20);
    EXPECT_EQ(columns[0], QVariantList({QStringLiteral("id"), QStringLiteral("bigint"), QStringLiteral("YES"),
                                        QStringLiteral("ALWAYS")}));
    for (int i = 0; i < zefto::schema::FieldCount; ++i) {
        const bool number = i >= zefto::schema::Ealan && i <= zefto::schema::Tahsis;
        EXPECT_EQ(columns[i + 1][0].toString(), zefto::schema::fieldNames()[i]);
        EXPECT_EQ(columns[i + 1][1].toString(), number ? QStringLiteral("double precision") : QStringLiteral("text"));
    }
    const auto checks = server.query(QStringLiteral(
        "SELECT conname FROM pg_constraint WHERE conrelid = 'ovrekson'::regclass AND contype = 'c' ORDER BY conname"));
    QStringList names;
    for (const auto &c : checks)
        names << c[0].toString();
    QStringList expected = zefto::schema::fieldNames().mid(0, zefto::schema::requiredTextFields);
    expected.sort();
    EXPECT_EQ(names, expected);
}

TEST_F(PostgresStoreTest, TwoClientsCreatingTheTableAtOnceBothFindIt)
{
    for (int round = 0; round < 4; ++round) {
        const QString name = QStringLiteral("%1_together%2").arg(server.database()).arg(round);
        server.query(QStringLiteral("CREATE DATABASE %1").arg(name), QStringLiteral("postgres"));
        std::latch start(2);
        int failures[2] = {-1, -1};
        QString why[2];
        auto client = [&](int c) {
            Database db;
            start.arrive_and_wait();
            failures[c] = errorNumber([&] { db.open(server.uri(name)); }, &why[c]);
        };
        std::thread a(client, 0), b(client, 1);
        a.join();
        b.join();
        EXPECT_EQ(failures[0], 0) << why[0].toStdString();
        EXPECT_EQ(failures[1], 0) << why[1].toStdString();
        EXPECT_EQ(server
                      .query(QStringLiteral("SELECT count(*) FROM pg_constraint WHERE conrelid = 'ovrekson'::regclass"
                                            " AND contype = 'c'"),
                             name)[0][0]
                      .toInt(),
                  14);
    }
}

TEST_F(PostgresStoreTest, AnExistingTableLackingWhatTheRunReliesOnIsRefusedNamingIt)
{
    const QString table = QStringLiteral("The table 'ovrekson' of '%1' ").arg(server.uri());
    const QString field = QStringLiteral("The field '%2' of table 'ovrekson' in '%1' ").arg(server.uri());
    struct Case {
        QString columns;
        QString description;
    } cases[] = {
        {nineteen(),
         table
             + QStringLiteral("has no identity or serial key (such as 'id bigint generated always as identity'), "
                              "which keeps its records in the order they were added.")},
        {QStringLiteral("id serial, ") + nineteen(QStringLiteral("mahalle")),
         table + QStringLiteral("has no field 'mahalle'.")},
        {QStringLiteral("id serial, ") + nineteen(QStringLiteral("eada"), QStringLiteral("eada text")),
         field.arg(QStringLiteral("eada"))
             + QStringLiteral("accepts zero-length text; the end of a report could not be recognised.")},
        {QStringLiteral("id serial, ")
             + nineteen(QStringLiteral("yalan"), QStringLiteral("yalan integer CHECK (yalan <> 0)")),
         field.arg(QStringLiteral("yalan"))
             + QStringLiteral("has the type 'integer', which would not keep text such as '  300' as it is.")},
        {QStringLiteral("id serial, ") + nineteen(QStringLiteral("tapu"), QStringLiteral("tapu text")),
         field.arg(QStringLiteral("tapu")) + QStringLiteral("has the type 'text', which cannot hold numbers.")},
    };
    for (const Case &c : cases) {
        server.query(QStringLiteral("DROP TABLE IF EXISTS ovrekson"));
        makeTable(c.columns);
        Database db;
        QString description;
        EXPECT_EQ(errorNumber([&] { db.open(server.uri()); }, &description), 3372) << c.columns.toStdString();
        EXPECT_EQ(description, c.description);
    }
    // A serial key made by hand serves as well as the identity we create.
    server.query(QStringLiteral("DROP TABLE ovrekson"));
    makeTable(QStringLiteral("id serial, ") + nineteen());
    Database db;
    EXPECT_EQ(errorNumber([&] { db.open(server.uri()); }), 0);
}

TEST_F(PostgresStoreTest, AZeroLengthTextIsRefusedBeforeItIsSentAndTheRunGoesOn)
{
    Database db;
    db.open(server.uri());
    db.beginRun([](bool) {});
    zefto::Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs, QStringLiteral("Bir"));
    rs.update();
    fillRecord(rs, QStringLiteral("İki"));
    rs.setField(QStringLiteral("eparsel"), Value::text(QString()));
    QString description;
    EXPECT_EQ(errorNumber([&] { rs.update(); }, &description), 3315);
    EXPECT_EQ(description, QStringLiteral("Field 'eparsel' cannot be a zero-length string."));
    // The transaction is whole: the server never saw the refused record.
    fillRecord(rs, QStringLiteral("Üç"));
    rs.update();
    rs.close();
    db.commitRun();
    EXPECT_EQ(db.recordsStored(), 2);
    const auto [first, last] = db.runKeys();
    EXPECT_EQ(last - first, 1);
    const auto stored = server.query(QStringLiteral("SELECT id, adi FROM ovrekson ORDER BY id"));
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0], QVariantList({first, QStringLiteral("Bir")}));
    EXPECT_EQ(stored[1], QVariantList({last, QStringLiteral("Üç")}));
}

TEST_F(PostgresStoreTest, TextAndNumbersComeBackAsTheyWereAddedAlsoFromMemory)
{
    const QString texts[] = {QStringLiteral("  300"),
                             QStringLiteral("a\tb\\c"),
                             QStringLiteral("satır\nbir\r"),
                             QStringLiteral("\\."),
                             QStringLiteral("ĞÜŞİÖÇ ğüşıöç € 𝔸"),
                             QStringLiteral("A"),
                             QStringLiteral("B"),
                             QStringLiteral("C")};
    // Hundredths, whole numbers around 10000, other decimals and the extremes.
    const double numbers[] = {0.1, 1e-300, -2.5, 123456789.123, 1250.5, -0.05, 100000, 0.1 + 0.2};
    constexpr int n = int(std::size(numbers));
    Database db;
    db.open(server.uri());
    db.beginRun([](bool) {});
    zefto::Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    QList<Value> inMemory;
    for (int i = 0; i < n; ++i) {
        fillRecord(rs, texts[i]);
        rs.setField(QStringLiteral("tapu"), Value::number(numbers[i]));
        rs.update();
        rs.moveLast();
        inMemory << rs.field(QStringLiteral("adi")) << rs.field(QStringLiteral("tapu"))
                 << rs.field(QStringLiteral("soyadi"));
    }
    rs.close();
    db.commitRun();
    QList<Value> readBack;
    db.readRecords({db.runKeys()}, [&](const QStringList &fields, const zefto::Record &r) {
        readBack << r[fields.indexOf(QStringLiteral("adi"))] << r[fields.indexOf(QStringLiteral("tapu"))]
                 << r[fields.indexOf(QStringLiteral("soyadi"))];
    });
    ASSERT_EQ(readBack.size(), 3 * n);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(readBack[3 * i], Value::text(texts[i])) << i;
        EXPECT_EQ(readBack[3 * i + 1], Value::number(numbers[i])) << i;
        EXPECT_EQ(readBack[3 * i + 2], Value::null()) << i;
    }
    EXPECT_EQ(inMemory, readBack);
}

TEST_F(PostgresStoreTest, AWrongPasswordIsRefusedWithoutShowingItAndPgpasswordIsUsed)
{
    const QString shown = server.uri({}, QStringLiteral("clerk"));
    Database db;
    QString description;
    EXPECT_EQ(
        errorNumber(
            [&] {
                db.open(
                    QStringLiteral("postgresql://clerk:not-it@/%1?host=%2").arg(server.database(), server.socketDir()));
            },
            &description),
        3151);
    EXPECT_TRUE(description.startsWith(QStringLiteral("Cannot connect to the database server of '%1': ").arg(shown)))
        << description.toStdString();
    EXPECT_TRUE(description.contains(QStringLiteral("password authentication failed for user \"clerk\"")));
    EXPECT_FALSE(description.contains(QStringLiteral("not-it")));

    // With the password in PGPASSWORD the clerk gets in; what the role may not do is told by number.
    qputenv("PGPASSWORD", PgServer::clerkPassword);
    EXPECT_EQ(errorNumber([&] { db.open(shown); }, &description), 3051);
    EXPECT_EQ(description, QStringLiteral("Cannot create the table 'ovrekson' in the database '%1': permission denied "
                                          "for schema public.")
                               .arg(shown))
        << description.toStdString();
    Database owner;
    owner.open(server.uri());
    owner.close();
    server.query(QStringLiteral("GRANT SELECT ON ovrekson TO clerk"));
    db.open(shown);
    EXPECT_EQ(errorNumber([&] { db.beginRun([](bool) {}); }, &description), 3027);
    EXPECT_EQ(description,
              QStringLiteral("Cannot convert into '%1': the role 'clerk' lacks the privilege INSERT on "
                             "ovrekson. The owner of ovrekson ('postgres') or a superuser can grant it, for "
                             "example: GRANT zefto_clerk TO \"clerk\";")
                  .arg(shown))
        << description.toStdString();
    qunsetenv("PGPASSWORD");
}
