#include "dbtestutil.h"
#include "openstore.h"
#include "schema.h"
#include "store.h"
#include "tempdir.h"
#include <gtest/gtest.h>

using zefto::Database;
using zefto::Recordset;
using zefto::Value;

class RecordsetTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        db.open(QStringLiteral("ovrek1.mdb"));
    }
    // Closes the recordset and the database, then reads the file as another program would.
    QList<QVariantList> rowsAfterClosing(Recordset &rs, const QString &sql)
    {
        rs.close();
        db.close();
        return rawRows(path(QStringLiteral("ovrek1.mdb")), sql);
    }
    Database db;
};

TEST_F(RecordsetTest, ZeroLengthTextIsRefusedWith3315AndNothingIsStored)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs);
    rs.setField(QStringLiteral("yada"), Value::text(QString()));
    QString description;
    EXPECT_EQ(errorNumber([&] { rs.update(); }, &description), 3315);
    EXPECT_EQ(description, QStringLiteral("Field 'yada' cannot be a zero-length string."));
    rs.close();
    db.close();
    EXPECT_EQ(
        rawRows(path(QStringLiteral("ovrek1.mdb")), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt(), 0);
}

TEST_F(RecordsetTest, EachOfTheFourteenTextFieldsRefusesZeroLengthText)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    for (const char *f : {"yada", "yparsel", "yhispay", "yhispayda", "hisyuzolçumu", "yalan", "adi", "soyadi",
                          "babaadi", "epafta", "eada", "eparsel", "ehispay", "ehispayda"}) {
        fillRecord(rs);
        rs.setField(QString::fromUtf8(f), Value::text(QStringLiteral("")));
        QString description;
        EXPECT_EQ(errorNumber([&] { rs.update(); }, &description), 3315) << f;
        EXPECT_TRUE(description.contains(QString::fromUtf8(f))) << description.toStdString();
    }
}

TEST_F(RecordsetTest, NoValueIsStoredAsNullAndZeroLengthMahalleAsText)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs);
    rs.setField(QStringLiteral("mahalle"), Value::text(QStringLiteral("")));
    rs.update();
    const auto rows = rowsAfterClosing(
        rs, QStringLiteral("SELECT typeof(soyadi), typeof(mahalle), mahalle, typeof(ealan) FROM ovrekson"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toString(), QStringLiteral("null"));
    EXPECT_EQ(rows[0][1].toString(), QStringLiteral("text"));
    EXPECT_EQ(rows[0][2].toString(), QStringLiteral(""));
    EXPECT_EQ(rows[0][3].toString(), QStringLiteral("real"));
}

TEST_F(RecordsetTest, MoveLastReadsBackTheRecordAddedLastAlsoAfterAReopen)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs, QStringLiteral("Birinci"));
    rs.update();
    fillRecord(rs, QStringLiteral("İkinci"));
    rs.update();
    // A recordset opened later on the same database, before any commit.
    Recordset later = db.openRecordset(QStringLiteral("ovrekson"));
    later.moveLast();
    EXPECT_EQ(later.field(QStringLiteral("adi")), Value::text(QStringLiteral("İkinci")));
    rs.close();
    db.close();

    Database again;
    again.open(QStringLiteral("ovrek1.mdb"));
    Recordset after = again.openRecordset(QStringLiteral("ovrekson"));
    after.moveLast();
    EXPECT_EQ(after.field(QStringLiteral("adi")), Value::text(QStringLiteral("İkinci")));
    EXPECT_TRUE(after.field(QStringLiteral("soyadi")).isNull());
    EXPECT_EQ(after.field(QStringLiteral("ealan")), Value::number(1250.5));
    EXPECT_EQ(after.field(QStringLiteral("mahalle")), Value::text(QStringLiteral("Tarçınbağı")));
    EXPECT_EQ(after.field(QStringLiteral("hisyuzolçumu")), Value::text(QStringLiteral("1")));
}

TEST_F(RecordsetTest, MisuseGetsTheEngineNumbers)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    EXPECT_EQ(errorNumber([&] { rs.moveLast(); }), 3021);
    EXPECT_EQ(errorNumber([&] { rs.field(QStringLiteral("adi")); }), 3021);
    rs.addNew();
    EXPECT_EQ(errorNumber([&] { rs.setField(QStringLiteral("ad"), Value()); }), 3265);
    EXPECT_EQ(errorNumber([&] {
                  rs.setField(QStringLiteral("ealan"), Value::text(QStringLiteral("x")));
                  rs.update();
              }),
              3421);
    EXPECT_EQ(errorNumber([&] { db.openRecordset(QStringLiteral("other")); }), 3078);
    rs.close();
    EXPECT_EQ(errorNumber([&] { rs.addNew(); }), 3420);
    Recordset open = db.openRecordset(QStringLiteral("ovrekson"));
    db.close();
    EXPECT_EQ(errorNumber([&] { open.moveLast(); }), 3420);
    EXPECT_EQ(errorNumber([&] { db.openRecordset(QStringLiteral("ovrekson")); }), 3420);
}

TEST_F(RecordsetTest, ClosingDiscardsAPendingRecordAndKeepsTheStoredOnes)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs, QStringLiteral("Kalan"));
    rs.update();
    fillRecord(rs, QStringLiteral("Bekleyen"));
    rs.close();
    EXPECT_EQ(db.recordsStored(), 1);
    const auto rows = rawRows(path(QStringLiteral("ovrek1.mdb")), QStringLiteral("SELECT adi FROM ovrekson"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toString(), QStringLiteral("Kalan"));
}

TEST_F(RecordsetTest, RecordsSettingOtherFieldsInTurnEachKeepTheirOwnFields)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    for (int i = 0; i < 4; ++i) {
        const QString adi = QStringLiteral("Kayıt%1").arg(i);
        if (i % 2 == 0) {
            fillRecord(rs, adi);
        } else {
            // Leaves soyadi, ealan and mahalle to the table.
            rs.addNew();
            for (const char *f : {"yada", "yparsel", "yhispay", "yhispayda", "hisyuzolçumu", "yalan", "babaadi",
                                  "epafta", "eada", "eparsel", "ehispay", "ehispayda"})
                rs.setField(QString::fromUtf8(f), Value::text(QStringLiteral("2")));
            for (const char *f : {"tapu", "dop", "tahsis"})
                rs.setField(QString::fromUtf8(f), Value::number(7));
            rs.setField(QStringLiteral("adi"), Value::text(adi));
        }
        rs.update();
    }
    const auto rows =
        rowsAfterClosing(rs, QStringLiteral("SELECT adi, yada, ealan, tapu, mahalle FROM ovrekson ORDER BY id"));
    ASSERT_EQ(rows.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const bool full = i % 2 == 0;
        EXPECT_EQ(rows[i][0].toString(), QStringLiteral("Kayıt%1").arg(i)) << i;
        EXPECT_EQ(rows[i][1].toString(), full ? QStringLiteral("1") : QStringLiteral("2")) << i;
        EXPECT_EQ(rows[i][2].isNull(), !full) << i;
        EXPECT_EQ(rows[i][3].toDouble(), full ? 1250.5 : 7.0) << i;
        EXPECT_EQ(rows[i][4].isNull(), !full) << i;
    }
}

// setText writes over what the record stored two before left; what anyone
// still holds of that record, and what the table got, stay as they were.
TEST_F(RecordsetTest, TextsWrittenInPlaceLeaveEarlierRecordsAsTheyWere)
{
    const QStringList texts = {QStringLiteral("12345"), QStringLiteral("1"),  QStringLiteral("123456789"),
                               QStringLiteral("22"),    QStringLiteral("ab"), QStringLiteral("333")};
    db.beginRun([](bool) {});
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    std::vector<Value> held;
    for (const QString &t : texts) {
        rs.addNew();
        for (int f = 0; f < zefto::schema::FieldCount; ++f) {
            const auto field = zefto::schema::Field(f);
            if (zefto::schema::readsAsNumber(field) && f >= zefto::schema::requiredTextFields)
                rs.setField(field, Value::number(1));
            else
                rs.setText(field, t);
        }
        rs.update();
        rs.moveLast();
        held.push_back(rs.field(zefto::schema::Yada));
    }
    db.commitRun();
    const auto rows = rowsAfterClosing(rs, QStringLiteral("SELECT yada FROM ovrekson ORDER BY id"));
    ASSERT_EQ(rows.size(), texts.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(held[i], Value::text(texts[i])) << i;
        EXPECT_EQ(rows[i][0].toString(), texts[i]) << i;
    }
}

// Inside a run the record added last need not be read from the table, but
// what MoveLast gives must be what the table holds, whatever the table does
// with a record: its own definition, a trigger, an older definition.
class RunLastRecordTest : public RecordsetTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        RecordsetTest::SetUp();
        const QString file = path(QStringLiteral("ovrek1.mdb"));
        const QString table = QString::fromLatin1(GetParam());
        if (table == QLatin1String("ours"))
            return reopen();
        db.close(); // the file was made as the program makes it, in UTF-16
        if (table == QLatin1String("typeof")) {
            rawRows(file, QStringLiteral("DROP TABLE ovrekson"));
            rawRows(file, zefto::schema::typeofCreateStatement());
        } else if (table == QLatin1String("trigger")) {
            rawRows(file, QStringLiteral("CREATE TRIGGER loud AFTER INSERT ON ovrekson BEGIN "
                                         "UPDATE ovrekson SET adi = upper(adi) WHERE id = new.id; END"));
        } else {
            rawRows(file, QStringLiteral("DROP TABLE ovrekson"));
            // As earlier versions' table, without STRICT and with a text area field.
            rawRows(file, zefto::schema::strictCreateStatement()
                              .replace(QStringLiteral(") STRICT"), QStringLiteral(")"))
                              .replace(QStringLiteral("ealan REAL"), QStringLiteral("ealan TEXT")));
        }
        reopen();
    }
    // The database over a store the test holds too, to hand it records itself.
    void reopen()
    {
        db.close();
        store = zefto::openStore(QStringLiteral("ovrek1.mdb"), zefto::Missing::Create, {});
        db.attach(store);
    }
    std::shared_ptr<zefto::Store> store;

    std::optional<zefto::Record> last() { return db.lastRecord(); }
    std::vector<zefto::Record> stored()
    {
        std::vector<zefto::Record> all;
        db.readRecords({{1, 1000}}, [&](const QStringList &, const zefto::Record &r) { all.push_back(r); });
        return all;
    }
};

TEST_P(RunLastRecordTest, MoveLastInARunGivesWhatTheTableHolds)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs, QStringLiteral("Önceki"));
    rs.update();
    rs.close();

    db.beginRun([](bool) {});
    Recordset run = db.openRecordset(QStringLiteral("ovrekson"));
    // Nothing added in this run yet: the earlier record, from the table.
    const std::optional<zefto::Record> before = last();
    fillRecord(run, QStringLiteral("İlk"));
    run.update();
    const std::optional<zefto::Record> first = last();
    // Our table's record is kept from memory, in any of its definitions; another's is read back.
    const zefto::Record *kept = store->appendedLast();
    EXPECT_EQ(kept != nullptr, GetParam() == std::string("ours") || GetParam() == std::string("typeof"));
    EXPECT_TRUE(!kept || *kept == *first);
    fillRecord(run, QStringLiteral("Reddedilen"));
    run.setField(QStringLiteral("yada"), Value::text(QStringLiteral("")));
    EXPECT_EQ(errorNumber([&] { run.update(); }), 3315);
    const std::optional<zefto::Record> afterRefusal = last();
    fillRecord(run, QChar(0xFEFF) + QStringLiteral("İmli"));
    run.update();
    const std::optional<zefto::Record> marked = last();
    run.close();
    // A record handed to the store itself, which keeps a copy of it.
    ASSERT_TRUE(marked);
    const zefto::Record again = *marked;
    std::vector<bool> given(again.size(), true);
    given[0] = false; // the key
    store->append(again, given);
    const std::optional<zefto::Record> copied = last();
    db.commitRun();

    const std::vector<zefto::Record> table = stored();
    ASSERT_EQ(table.size(), 4);
    EXPECT_EQ(before, table[0]);
    EXPECT_EQ(first, table[1]);
    EXPECT_EQ(afterRefusal, table[1]);
    EXPECT_EQ(marked, table[2]);
    EXPECT_EQ(copied, table[3]);

    // The next run starts from the table again.
    db.beginRun([](bool) {});
    EXPECT_EQ(last(), table[3]);
    db.rollbackRun();
}

INSTANTIATE_TEST_SUITE_P(Tables, RunLastRecordTest, ::testing::Values("ours", "typeof", "trigger", "older"));

// The database closed while the recordset is still open: what was added is kept, not dropped.
TEST_F(RecordsetTest, ClosingTheDatabaseKeepsWhatAnOpenRecordsetAdded)
{
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    fillRecord(rs);
    rs.update();
    db.close();
    EXPECT_EQ(rawRows(path(QStringLiteral("ovrek1.mdb")), QStringLiteral("SELECT adi FROM ovrekson")),
              (QList<QVariantList>{{QStringLiteral("Ali")}}));
}
