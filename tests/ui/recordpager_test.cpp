#include "chosen.h"
#include "recordpager.h"
#include "recordsfixture.h"

using zefto::records::RecordPager;

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
    const int n = (RecordPager::maxWindows + 3) * RecordPager::windowRows + 37; // more windows than kept, a short last one
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
        if (pager->rows() > 0)
            EXPECT_EQ(owner(0), QStringLiteral("Kişi 120"));
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
