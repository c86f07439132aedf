#include "dbtestutil.h"
#include "schema.h"
#include "scratchstore.h"
#include "tempdir.h"

#include <QFile>
#include <gtest/gtest.h>

using zefto::Database;
using zefto::KeyRange;
using zefto::Record;
using zefto::Recordset;
using zefto::ScratchStore;
using zefto::Value;

namespace {

QStringList columnsWithKey()
{
    return QStringList{QStringLiteral("id")} + zefto::schema::fieldNames();
}

// A record of the target as its store reads it back: key 41, owner `adi`.
Record targetRecord(const QString &adi)
{
    Record r(columnsWithKey().size(), Value::null());
    r[0] = Value::number(41);
    r[1 + zefto::schema::Adi] = Value::text(adi);
    r[1 + zefto::schema::Eada] = Value::text(QStringLiteral("  300"));
    return r;
}

std::shared_ptr<ScratchStore> scratch(std::optional<Record> before)
{
    return std::make_shared<ScratchStore>(QStringLiteral("/nowhere/ovrek1.mdb"), columnsWithKey(), std::move(before));
}

std::vector<QString> owners(const std::vector<Record> &records)
{
    std::vector<QString> names;
    for (const Record &r : records)
        names.push_back(r[1 + zefto::schema::Adi].asText());
    return names;
}

std::vector<QString> read(ScratchStore &s, const QList<KeyRange> &ranges)
{
    std::vector<Record> got;
    s.readRecords(ranges, [&](const Record &r) { got.push_back(r); });
    return owners(got);
}

} // namespace

TEST(ScratchStore, RefusesZeroLengthTextInEachRequiredFieldAsTheTablesDo)
{
    auto store = scratch(std::nullopt);
    Database db;
    db.attach(store);
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    for (int f = 0; f < zefto::schema::requiredTextFields; ++f) {
        const QString name = zefto::schema::fieldName(zefto::schema::Field(f));
        fillRecord(rs);
        rs.setField(name, Value::text(QStringLiteral("")));
        QString description;
        EXPECT_EQ(errorNumber([&] { rs.update(); }, &description), zefto::err::ZeroLengthString) << name.toStdString();
        EXPECT_EQ(description, QStringLiteral("Field '%1' cannot be a zero-length string.").arg(name));
    }
    EXPECT_TRUE(store->records().empty());
    EXPECT_EQ(store->recordsStored(), 0);

    // Outside the fourteen, zero-length text and no value are stored as given.
    fillRecord(rs);
    rs.setField(QStringLiteral("mahalle"), Value::text(QStringLiteral("")));
    rs.setField(QStringLiteral("yada"), Value());
    rs.update();
    ASSERT_EQ(store->records().size(), 1u);
    const Record &r = store->records()[0];
    EXPECT_EQ(r[0], Value::number(1));
    EXPECT_EQ(r[1 + zefto::schema::Yada], Value::null());
    EXPECT_EQ(r[1 + zefto::schema::Soyadi], Value::null());
    EXPECT_EQ(r[1 + zefto::schema::Mahalle], Value::text(QStringLiteral("")));
    EXPECT_EQ(r[1 + zefto::schema::Ealan], Value::number(1250.5));
}

TEST(ScratchStore, ReadsBackTheTargetsLastRecordThenItsOwn)
{
    auto store = scratch(targetRecord(QStringLiteral("Işık")));
    Database db;
    db.attach(store);
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    rs.moveLast();
    EXPECT_EQ(rs.field(QStringLiteral("adi")), Value::text(QStringLiteral("Işık")));
    EXPECT_EQ(rs.field(QStringLiteral("eada")), Value::text(QStringLiteral("  300")));
    EXPECT_EQ(rs.field(QStringLiteral("id")), Value::number(41));

    fillRecord(rs, QStringLiteral("Ayşe"));
    rs.update();
    fillRecord(rs, QStringLiteral("Çiftçi"));
    rs.update();
    rs.moveLast();
    EXPECT_EQ(rs.field(QStringLiteral("adi")), Value::text(QStringLiteral("Çiftçi")));
    EXPECT_EQ(rs.field(QStringLiteral("id")), Value::number(2));
    // The target's record is read back but is not one of those the run would store.
    EXPECT_EQ(owners(store->records()), (std::vector<QString>{QStringLiteral("Ayşe"), QStringLiteral("Çiftçi")}));
    EXPECT_EQ(read(*store, {{1, 2}}), owners(store->records()));
    EXPECT_EQ(read(*store, {{2, 9}, {0, 0}, {1, 1}}),
              (std::vector<QString>{QStringLiteral("Çiftçi"), QStringLiteral("Ayşe")}));
}

TEST(ScratchStore, AnEmptyTargetHasNoLastRecord)
{
    auto store = scratch(std::nullopt);
    Database db;
    db.attach(store);
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    EXPECT_EQ(errorNumber([&] { rs.moveLast(); }), zefto::err::NoCurrentRecord);
    EXPECT_EQ(store->lastRecord(), std::nullopt);
}

TEST(ScratchStore, RunsKeepOrDiscardTheirRecordsLikeTransactions)
{
    auto store = scratch(targetRecord(QStringLiteral("Önceki")));
    Database db;
    db.attach(store);
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));

    db.beginRun([](bool) {});
    EXPECT_TRUE(store->inRun());
    EXPECT_EQ(errorNumber([&] { store->beginRun([](bool) {}); }), zefto::err::Reserved);
    fillRecord(rs, QStringLiteral("Ali"));
    rs.update();
    fillRecord(rs, QStringLiteral("Veli"));
    rs.update();
    EXPECT_EQ(db.runKeys(), (KeyRange{1, 2}));
    db.commitRun();
    EXPECT_FALSE(store->inRun());
    EXPECT_EQ(db.runKeys(), (KeyRange{1, 2}));
    EXPECT_EQ(db.recordsStored(), 2);

    db.beginRun([](bool) {});
    EXPECT_EQ(db.runKeys(), (KeyRange{0, 0}));
    fillRecord(rs, QStringLiteral("Geri"));
    rs.update();
    EXPECT_EQ(db.runKeys(), (KeyRange{3, 3}));
    EXPECT_EQ(db.recordsStored(), 3);
    db.rollbackRun();
    EXPECT_EQ(db.runKeys(), (KeyRange{0, 0}));
    EXPECT_EQ(db.recordsStored(), 2);
    EXPECT_EQ(owners(store->records()), (std::vector<QString>{QStringLiteral("Ali"), QStringLiteral("Veli")}));
    rs.moveLast();
    EXPECT_EQ(rs.field(QStringLiteral("adi")), Value::text(QStringLiteral("Veli")));

    // A run rolled back with nothing before it leaves the target's record last again.
    auto fresh = scratch(targetRecord(QStringLiteral("Önceki")));
    fresh->beginRun([](bool) {});
    fresh->append(targetRecord(QStringLiteral("Sonraki")), std::vector<bool>(columnsWithKey().size(), true));
    EXPECT_EQ(fresh->lastRecord()->at(1 + zefto::schema::Adi), Value::text(QStringLiteral("Sonraki")));
    fresh->rollbackRun();
    EXPECT_EQ(*fresh->lastRecord(), targetRecord(QStringLiteral("Önceki")));
    EXPECT_TRUE(fresh->records().empty());
}

TEST(ScratchStore, CloseTakesBackAnOpenRunAndEndsTheStore)
{
    auto store = scratch(std::nullopt);
    store->beginRun([](bool) {});
    store->append(targetRecord(QStringLiteral("Ali")), std::vector<bool>(columnsWithKey().size(), true));
    EXPECT_TRUE(store->stillThere());
    store->close();
    EXPECT_FALSE(store->isOpen());
    EXPECT_FALSE(store->stillThere());
    EXPECT_FALSE(store->inRun());
    EXPECT_TRUE(store->records().empty());
    EXPECT_EQ(errorNumber([&] { store->lastRecord(); }), zefto::err::ObjectInvalid);
    EXPECT_EQ(errorNumber([&] { store->append(Record(20), std::vector<bool>(20, false)); }), zefto::err::ObjectInvalid);
}

TEST(ScratchStore, KeepsNoLogAndRefusesUndo)
{
    auto store = scratch(std::nullopt);
    store->beginRun([](bool) {});
    EXPECT_EQ(store->logRun(zefto::Conversion{}), 0);
    store->commitRun();
    EXPECT_EQ(store->conversions().size(), 0u);
    EXPECT_EQ(store->findConversion(QStringLiteral("ab12")), std::nullopt);
    QString description;
    EXPECT_EQ(errorNumber([&] { store->undoConversion(7, QStringLiteral("clerk")); }, &description),
              zefto::err::ReadOnly);
    EXPECT_EQ(description, QStringLiteral("A dry run changes nothing: conversion 7 cannot be undone in it."));
}

class ScratchStoreFiles : public TempDirTest {};

TEST_F(ScratchStoreFiles, NothingIsWrittenUnderItsName)
{
    const QString name = path(QStringLiteral("ovrek1.mdb"));
    auto store = std::make_shared<ScratchStore>(name, zefto::schema::fieldNames(), std::nullopt);
    Database db;
    db.attach(store);
    EXPECT_EQ(db.path(), name);
    Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
    db.beginRun([](bool) {});
    fillRecord(rs);
    rs.update();
    db.commitRun();
    rs.close();
    db.close();
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_EQ(QDir(path(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    // Without a key column the record is the 19 fields as given.
    ASSERT_EQ(store->records().size(), 1u);
    EXPECT_EQ(store->records()[0].size(), 19u);
    EXPECT_EQ(store->records()[0][zefto::schema::Adi], Value::text(QStringLiteral("Ali")));
}
