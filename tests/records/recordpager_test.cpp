#include "chosen.h"
#include "filter.h"
#include "letterfold.h"
#include "recordpager.h"
#include "recordsfixture.h"

using zefto::records::RecordPager;
using namespace Qt::StringLiterals;

namespace {

class RecordPagerTest : public RecordsFixture {
protected:
    // Owners "Kişi 0" .. "Kişi n-1", keys 1..n.
    void storeNumbered(int n)
    {
        QStringList owners;
        for (int i = 0; i < n; ++i)
            owners << QStringLiteral("Kişi %1").arg(i);
        storeOwners(owners);
    }

    void openReader()
    {
        db.setReadOnly(true);
        db.open(database(), zefto::Missing::Refuse);
        pager = std::make_unique<RecordPager>(db);
    }

    QString owner(qint64 row) { return pager->row(row).fields.at(zefto::schema::Adi).asText(); }

    zefto::Database db;
    std::unique_ptr<RecordPager> pager;
};

INSTANTIATE_TEST_SUITE_P(Backends, RecordPagerTest, ::testing::Values(Backend::File, Backend::Postgres), backendName);

} // namespace

TEST_P(RecordPagerTest, EveryRowIsItsRecordWhereverTheReadingStartsAndOnlyAFewWindowsAreKept)
{
    const int n =
        (RecordPager::maxWindows + 3) * RecordPager::windowRows + 37; // more windows than kept, a short last one
    storeNumbered(n);
    openReader();
    pager->show(zefto::records::allKeys, QString());
    ASSERT_EQ(pager->total(), n);
    ASSERT_EQ(pager->rows(), n);

    // The end first, as a jump to the bottom does; then the middle; then the start.
    for (qint64 r : {qint64(n - 1), qint64(n / 2), qint64(0), qint64(RecordPager::windowRows)}) {
        EXPECT_EQ(pager->row(r).key, r + 1) << "row " << r;
        EXPECT_EQ(owner(r), QStringLiteral("Kişi %1").arg(r));
    }
    // Backwards through every row: each window found from the one read before it.
    for (qint64 r = n - 1; r >= 0; --r) {
        ASSERT_EQ(pager->row(r).key, r + 1) << "row " << r;
        EXPECT_LE(pager->cachedWindows(), RecordPager::maxWindows);
    }
    EXPECT_EQ(pager->cachedWindows(), RecordPager::maxWindows);
    // Out of range is an empty row, never a read past the table.
    EXPECT_TRUE(pager->row(n).fields.empty());
    EXPECT_TRUE(pager->row(-1).fields.empty());
}

TEST_P(RecordPagerTest, AGapInTheKeysMovesTheRowsAfterItUpWithoutLosingOne)
{
    const int n = 4 * RecordPager::windowRows;
    storeNumbered(n);
    // As an undo of the records in the middle leaves them: keys 301..700 gone.
    query(QStringLiteral("DELETE FROM ovrekson WHERE id BETWEEN 301 AND 700"));
    openReader();
    pager->show(zefto::records::allKeys, QString());
    ASSERT_EQ(pager->rows(), n - 400);

    const auto keyOfRow = [](qint64 r) { return r < 300 ? r + 1 : r + 401; };
    // A jump to the end, then one into the middle across the gap, then every row in order.
    for (qint64 r : {qint64(n - 401), qint64(299), qint64(300), qint64(n / 2)})
        EXPECT_EQ(pager->row(r).key, keyOfRow(r)) << "row " << r;
    for (qint64 r = 0; r < pager->rows(); ++r) {
        ASSERT_EQ(pager->row(r).key, keyOfRow(r)) << "row " << r;
        ASSERT_EQ(owner(r), QStringLiteral("Kişi %1").arg(keyOfRow(r) - 1));
    }
}

TEST_P(RecordPagerTest, OneConversionsKeysAndAFilterNarrowTheRows)
{
    storeNumbered(600);
    openReader();
    pager->show({101, 350}, QString());
    EXPECT_EQ(pager->total(), 250);
    EXPECT_EQ(pager->row(0).key, 101);
    EXPECT_EQ(pager->row(249).key, 350);
    EXPECT_TRUE(pager->row(250).fields.empty());

    // "Kişi 12" matches 12 and 120..129 inside those keys (Kişi 12 has key 13: outside).
    pager->show({101, 350}, QStringLiteral("KİŞİ 12"));
    EXPECT_TRUE(pager->filtering());
    while (pager->scanFilter(7)) {
        // Matches already found are readable while the scan goes on.
        if (pager->rows() > 0) {
            EXPECT_EQ(owner(0), QStringLiteral("Kişi 120"));
        }
    }
    EXPECT_FALSE(pager->filtering());
    ASSERT_EQ(pager->rows(), 10);
    for (qint64 r = 0; r < 10; ++r)
        EXPECT_EQ(owner(r), QStringLiteral("Kişi %1").arg(120 + r));
}

TEST_P(RecordPagerTest, AFilteredRecordRemovedAfterTheScanLeavesAnEmptyRowInItsPlace)
{
    storeNumbered(300);
    openReader();
    pager->show(zefto::records::allKeys, QStringLiteral("kisi 2"));
    while (pager->scanFilter(1000)) {
    }
    const qint64 matches = pager->rows(); // 2, 20..29, 200..299
    ASSERT_EQ(matches, 1 + 10 + 100);
    query(QStringLiteral("DELETE FROM ovrekson WHERE id = 22")); // Kişi 21, the third match
    EXPECT_EQ(owner(1), QStringLiteral("Kişi 20"));
    EXPECT_TRUE(pager->row(2).fields.empty());
    EXPECT_EQ(pager->row(2).key, 22);
    EXPECT_EQ(owner(3), QStringLiteral("Kişi 22"));
}

// The database tests a filter itself (a function on a file, a pattern on a
// server): it must find exactly what the folding rule finds in the records.
TEST_P(RecordPagerTest, TheDatabaseFiltersExactlyAsTheFoldingRule)
{
    const QStringList owners{u"IŞIK"_s,
                             u"Işık Ağa"_s,
                             u"ışıl"_s,
                             u"İSMAİL HAKKI"_s,
                             u"S\u0327AH\u0130N"_s,
                             u"Çiftçi"_s,
                             u"Hâkim Ümit"_s,
                             u"Ka\u1B44\u0301ya"_s,
                             u"Ka\U0001D15Eya"_s,
                             u"isik"_s,
                             u"Dogan\u0308"_s,
                             u"ÖZ-TÜRK 12/3"_s,
                             u"Tarçınbağı Çiftçi Işık Ağa"_s,
                             u"Tarçınbağı Çiftçi Işıl"_s,
                             u"Kaya [b]^c\\d"_s};
    storeOwners(owners);
    openReader();
    std::vector<std::pair<qint64, zefto::Record>> all;
    db.readAfter(zefto::records::allKeys, 0, 100,
                 [&](const zefto::Record &r) { all.emplace_back(zefto::keyIn(db.columns(), r), r); });
    for (const QString &needle :
         {u"isik"_s, u"IŞIK AĞA"_s, u"ı"_s, u"İsmail h"_s, u"sahin"_s, u"ÇİFTÇİ"_s, u"hakim"_s, u"ümit"_s,
          u"ka\u1B44y"_s, u"a\U0001D15E"_s, u"dogan"_s, u"oz-turk 12/"_s, u"tarcin"_s, u"x"_s, u"\x01"_s, u"[B]^C\\"_s,
          u"TARÇINBAĞI ÇİFTÇİ IŞIK"_s, u"tarcinbagi ciftci isil"_s}) { // the last two past what a pattern holds
        std::vector<qint64> expected, keys, read;
        for (const auto &[key, r] : all)
            for (zefto::schema::Field f : zefto::filter::fields)
                if (r[size_t(db.columns().indexOf(zefto::schema::fieldName(f)))].isText()
                    && zefto::containsFolded(r[size_t(db.columns().indexOf(zefto::schema::fieldName(f)))].asText(),
                                             needle)) {
                    expected.push_back(key);
                    break;
                }
        db.matchingKeys(zefto::records::allKeys, 0, 1000, needle, [&](qint64 k) { keys.push_back(k); });
        db.readMatching(zefto::records::allKeys, 0, 1000, needle,
                        [&](const zefto::Record &r) { read.push_back(zefto::keyIn(db.columns(), r)); });
        EXPECT_EQ(keys, expected) << needle.toStdString();
        EXPECT_EQ(read, expected) << needle.toStdString();
    }
}

// A filter must not stop after the first block it reads (4,096 records).
TEST_P(RecordPagerTest, AFilterReadsEveryBlockToTheLastRecord)
{
    storeNumbered(5000);
    openReader();
    using zefto::records::allKeys;
    for (const auto &[filter, count, last] : {std::tuple{u"kisi 4999"_s, 1, 5000}, std::tuple{u"KİŞİ"_s, 5000, 5000},
                                              std::tuple{u"kişi 41"_s, 111, 4200}}) {
        std::vector<qint64> keys;
        zefto::records::forEachChosen(db, allKeys, filter, [&](zefto::records::Fields fields) {
            keys.push_back(fields[zefto::schema::Adi].asText().mid(5).toLongLong() + 1);
        });
        EXPECT_EQ(qint64(keys.size()), count) << filter.toStdString();
        EXPECT_EQ(zefto::records::countChosen(db, allKeys, filter), count) << filter.toStdString();
        EXPECT_EQ(keys.empty() ? 0 : keys.back(), last) << filter.toStdString();
        pager->show(allKeys, filter);
        while (pager->scanFilter(1500)) {
        }
        EXPECT_EQ(pager->rows(), count) << filter.toStdString();
    }
}

TEST_P(RecordPagerTest, ASortedTableBeyondItsFirstScreensKeepsEveryRowInOrderBothWays)
{
    // Owners stored scrambled; padded numbers make their alphabetical order their number's.
    const qint64 n = 4 * RecordPager::firstSortedKeys + 300; // the last rows are read from the end
    QStringList owners;
    for (qint64 i = 0; i < n; ++i)
        owners << QStringLiteral("Kişi %1").arg(i * 7919 % n, 5, 10, QLatin1Char('0'));
    storeOwners(owners);
    openReader();
    for (const bool descending : {false, true}) {
        pager->sortBy({zefto::schema::Adi, descending});
        pager->show(zefto::records::allKeys, QString());
        ASSERT_EQ(pager->rows(), n);
        const auto expected = [&](qint64 r) {
            return QStringLiteral("Kişi %1").arg(descending ? n - 1 - r : r, 5, 10, QLatin1Char('0'));
        };
        // A jump to the end first, as the End key does; then every row from the top.
        for (qint64 r = n - 1; r >= n - 3 * RecordPager::windowRows / 2; --r)
            ASSERT_EQ(owner(r), expected(r)) << "row " << r << (descending ? " descending" : "");
        for (qint64 r = 0; r < n; ++r)
            ASSERT_EQ(owner(r), expected(r)) << "row " << r << (descending ? " descending" : "");
        // The keys of a block of rows across the first screens' end, in the order shown.
        const std::vector<zefto::KeyRange> keys =
            pager->keysOfRows(RecordPager::firstSortedKeys - 2, RecordPager::firstSortedKeys + 1);
        ASSERT_EQ(keys.size(), 4u);
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(keys[i].first, pager->row(RecordPager::firstSortedKeys - 2 + qint64(i)).key);
    }
}
