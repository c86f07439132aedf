#include "chosen.h"
#include "database.h"
#include "fraction.h"
#include "parcelbook.h"
#include "quickfigures.h"
#include "schema.h"
#include "sharecheck.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <limits>

using namespace zefto;
using namespace zefto::records;

namespace {

// A stored record as the check reads it; "" stores no value.
struct Rec {
    const char *parcel = "300/1", *share = "1/1", *shareArea = "900", *area = "900.00";
    const char *oldArea = "1250.50", *oldShare = "1/2", *deed = "625.25", *deduction = "250.10", *allocation = "375.15";
};

Rec shared(const char *parcel, const char *share, const char *shareArea, const char *area)
{
    return Rec{parcel, share, shareArea, area};
}

Rec old(const char *oldShare, const char *deed, const char *allocation)
{
    Rec r;
    r.oldShare = oldShare;
    r.deed = deed;
    r.allocation = allocation;
    return r;
}

// {rule 1 broken, unreadable, rule 2 .., rule 3 .., rule 4 ..}, then findings.
using Counts = std::array<qint64, 9>;

class ShareCheckTest : public TempDirTest {
protected:
    void store(const std::vector<Rec> &records)
    {
        db.open(path(QStringLiteral("t.mdb")));
        Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
        const auto text = [](const char *s) { return *s ? Value::text(QString::fromUtf8(s)) : Value(); };
        const auto number = [](const char *s) { return *s ? Value::number(QByteArray(s).toDouble()) : Value(); };
        const auto part = [](const char *s, int i) {
            const QStringList p = QString::fromUtf8(s).split(u'/');
            return *s ? Value::text(p.value(i)) : Value();
        };
        for (const Rec &r : records) {
            rs.addNew();
            const QStringList parcel = QString::fromUtf8(r.parcel).split(u'/');
            const std::pair<schema::Field, Value> fields[] = {{schema::Yada, Value::text(parcel[0])},
                                                              {schema::Yparsel, Value::text(parcel[1])},
                                                              {schema::Yhispay, part(r.share, 0)},
                                                              {schema::Yhispayda, part(r.share, 1)},
                                                              {schema::Hisyuzolcumu, text(r.shareArea)},
                                                              {schema::Yalan, text(r.area)},
                                                              {schema::Adi, Value::text(QStringLiteral("Ali"))},
                                                              {schema::Babaadi, Value::text(QStringLiteral("Veli"))},
                                                              {schema::Eada, Value::text(QStringLiteral("101"))},
                                                              {schema::Eparsel, Value::text(QStringLiteral("7"))},
                                                              {schema::Ehispay, part(r.oldShare, 0)},
                                                              {schema::Ehispayda, part(r.oldShare, 1)},
                                                              {schema::Ealan, number(r.oldArea)},
                                                              {schema::Tapu, number(r.deed)},
                                                              {schema::Dop, number(r.deduction)},
                                                              {schema::Tahsis, number(r.allocation)}};
            for (const auto &[f, v] : fields)
                rs.setField(schema::fieldName(f), v);
            rs.update();
        }
        rs.close();
    }

    ShareCheck check(const RuleSet &rules = allRules)
    {
        found.clear();
        return checkShares(db, allKeys, std::nullopt, rules, [&](const ShareFinding &f) { found.push_back(f); });
    }

    Database db;
    std::vector<ShareFinding> found;
};

// Coprime denominators whose product is above 2^64: floating point calls both sums below one.
const Rec overP = shared("300/1", "1/5000000001", "1", "100.00"),
          overQ = shared("300/1", "1/5000000003", "1", "100.00");

TEST_F(ShareCheckTest, EachRuleHoldsOrBreaksOncePerParcelOrRecord)
{
    const Rec third = shared("300/1", "1/3", "300", "900.00"), tenth = shared("300/1", "1/10", "10", "100.00");
    const Rec half = shared("300/1", "1/2", "406.20", "812.43"), otherHalf = shared("300/1", "1/2", "406.21", "812.43");
    const Rec owner = old("1/2", "625.30", "375.20"); // the deed 0.05 off, the allocation following it
    const struct {
        const char *name;
        std::vector<Rec> records;
        Counts counts;
    } cases[] = {
        {"thirds", {third, third, third}, {}},
        {"ten tenths", std::vector<Rec>(10, tenth), {}},
        {"half and third", {shared("300/1", "1/2", "450", "900.00"), third}, {1, 0, 1, 0, 0, 0, 0, 0, 2}},
        {"beyond 64 bits",
         {overP, overQ, shared("300/1", "25000000009999999999/25000000020000000003", "98", "100.00")},
         {}},
        {"beyond 64 bits, off by 1/pq",
         {overP, overQ, shared("300/1", "25000000009999999998/25000000020000000003", "98", "100.00")},
         {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"beyond 128 bits",
         {shared("300/1", "1/1000000000000000000000000000001", "1", "1.00"),
          shared("300/1", "1/1000000000000000000000000000003", "0", "1.00")},
         {0, 1, 0, 0, 0, 0, 0, 0, 1}},
        {"interleaved parcels", {half, shared("300/2", "1/1", "5", "5.00"), otherHalf}, {}},
        // A separator inside a block or parcel number must not make two parcels one.
        {"separator in a number",
         {shared("300\u001f1/2", "1/2", "450", "900.00"), shared("300/1\u001f2", "1/2", "450", "900.00")},
         {2, 0, 2, 0, 0, 0, 0, 0, 4}},
        {"digits between block and parcel",
         {shared("3001/2", "1/2", "450", "900.00"), shared("300/12", "1/2", "450", "900.00")},
         {2, 0, 2, 0, 0, 0, 0, 0, 4}},
        {"areas 0.02 off over two records", {half, otherHalf}, {}},
        {"areas 0.03 off over two records",
         {shared("300/1", "1/2", "406.20", "812.44"), shared("300/1", "1/2", "406.21", "812.44")},
         {0, 0, 1, 0, 0, 0, 0, 0, 1}},
        {"shares unreadable",
         {shared("300/1", "1/0", "1", "3.00"), shared("300/1", "x/3", "1", "3.00"), shared("300/1", "", "1", "3.00")},
         {0, 1, 0, 0, 0, 0, 0, 0, 3}},
        {"share area unreadable", {shared("300/1", "1/1", "abc", "3.00")}, {0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {"deed 0.01 off", {old("1/2", "625.26", "375.16")}, {}},
        {"deed 0.02 off", {old("1/2", "625.27", "375.17")}, {0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"allocation 0.01 off", {old("1/2", "625.25", "375.16")}, {}},
        {"allocation 0.02 off", {old("1/2", "625.25", "375.17")}, {0, 0, 0, 0, 0, 0, 1, 0, 1}},
        {"old share unreadable", {old("1/0", "625.25", "375.15")}, {0, 0, 0, 0, 0, 1, 0, 0, 1}},
        {"no title deed", {old("1/2", "", "375.15")}, {0, 0, 0, 0, 0, 1, 0, 1, 2}},
        // A continuation row repeats its owner's old side: the same figures are one finding.
        {"continuation repeats",
         {owner,
          [&] {
              Rec r = owner;
              r.parcel = "300/2";
              return r;
          }()},
         {0, 0, 0, 0, 1, 0, 0, 0, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path(QStringLiteral("t.mdb")));
        store(c.records);
        const ShareCheck r = check();
        Counts got;
        for (int rule = 0; rule < 4; ++rule) {
            got[size_t(rule * 2)] = r.rules[size_t(rule)].broken;
            got[size_t(rule * 2 + 1)] = r.rules[size_t(rule)].unreadable;
        }
        got[8] = qint64(found.size());
        EXPECT_EQ(got, c.counts);
        db.close();
    }
}

TEST_F(ShareCheckTest, FindingsSayWhatAddsUpToWhatAndSummariesCountEveryRule)
{
    Rec again = old("1/2", "625.27", "375.17");
    again.parcel = "300/2";
    store({shared("102/21", "1/2", "450", "900.00"), shared("102/21", "1/3", "300", "900.00"),
           old("1/2", "625.27", "375.17"), again});
    const ShareCheck r = check();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].text, QStringLiteral("record 3 (Ali), old 101/7: title deed 625.27 m², old area 1250.50 m² × "
                                            "1/2 = 625.25 m²"));
    EXPECT_EQ(found[0].span, KeyRange(3, 3));
    EXPECT_EQ(found[1].text, QStringLiteral("102/21: shares add up to 5/6, not 1 (2 owners)"));
    EXPECT_EQ(found[2].text, QStringLiteral("102/21: share areas 750.00 m², parcel 900.00 m² (2 owners)"));
    EXPECT_EQ(findingKeys(db, found[1]), (std::vector<qint64>{1, 2}));
    EXPECT_EQ(ruleSummary(1, r),
              QStringLiteral("rule 1, shares make one whole: 3 parcels checked, 1 broken, 0 unreadable"));
    EXPECT_EQ(ruleSummary(3, r),
              QStringLiteral("rule 3, title deed is old area × old share: 2 records checked, 1 broken, "
                             "0 unreadable (2 more repeat the old share of the record before)"));

    // Left out, a rule neither counts nor finds.
    const ShareCheck without3 = check({true, true, false, true});
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(ruleSummary(3, without3), QStringLiteral("rule 3, title deed is old area × old share: skipped"));
}

// A block number longer than the check's chunks of key text is kept on its own, and still one parcel.
TEST_F(ShareCheckTest, AParcelWithAVeryLongNameIsStillOneParcel)
{
    static const std::string parcel = std::string(5000, '7') + "/1";
    store({shared(parcel.c_str(), "1/2", "450", "900.00"), shared("300/1", "1/1", "900", "900.00"),
           shared(parcel.c_str(), "1/3", "300", "900.00")});
    const ShareCheck r = check();
    EXPECT_EQ(r.parcels, 2);
    ASSERT_EQ(found.size(), 2u); // its shares make 5/6, its share areas 750
    EXPECT_EQ(found[0].yada, QString(5000, u'7'));
    EXPECT_EQ(found[0].span, KeyRange(1, 3));
}

// Rules 3 and 4 check a continuation row's old side once: it repeats the record
// before exactly when each of adi .. tahsis is equal as values are (NaN never, -0 as 0).
TEST(ShareChecker, AnOldSideRepeatsWhenEachOfItsFieldsEqualsTheRecordBefore)
{
    using namespace schema;
    const auto t = [](const char *s) { return Value::text(QString::fromUtf8(s)); };
    std::vector<Value> base{t("300"),
                            t("1"),
                            t("1"),
                            t("1"),
                            t("900"),
                            t("900.00"),
                            t("Ali"),
                            t("Veli"),
                            t("Can"),
                            t("1"),
                            t("101"),
                            t("7"),
                            t("1"),
                            t("2"),
                            Value::number(1250.5),
                            Value::number(625.25),
                            Value::number(250.1),
                            Value::number(375.15),
                            t("Mahalle")};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        Field field;
        Value before, after;
    } changes[] = {
        {Adi, t("Ali"), t("Ayo")},
        {Adi, t("Ali"), t("Ali")},
        {Babaadi, t("Mustafa Kemal"), t("Mustafa Kemaş")},
        {Babaadi, t("Mustafa Kemal"), t("Mustafa Kamal")},
        {Soyadi, t("Veli"), t("Veli ")},
        {Eparsel, t(""), Value::null()},
        {Dop, Value::null(), Value()},
        {Tahsis, Value::null(), Value::number(0)},
        {Ealan, Value::number(-0.0), Value::number(0)},
        {Tapu, Value::number(nan), Value::number(nan)},
        {Yparsel, t("1"), t("2")},
        {Mahalle, t("A"), t("B")},
    };
    for (const auto &c : changes) {
        SCOPED_TRACE(int(c.field));
        std::vector<Value> first = base, second = base, third = base;
        first[c.field] = c.before;
        second[c.field] = c.after;
        third[Adi] = t("Ayşe"); // a third record, other from the name on
        ShareChecker checker(allRules, [](const ShareFinding &) {});
        const std::vector<Value> *records[] = {&first, &second, &second, &third, &third};
        qint64 repeats = 0;
        for (size_t i = 0; i < std::size(records); ++i) {
            checker.record(qint64(i + 1), records[i]->data());
            repeats += i > 0
                       && std::equal(records[i]->begin() + Adi, records[i]->begin() + Tahsis + 1,
                                     records[i - 1]->begin() + Adi);
        }
        EXPECT_EQ(checker.finish().repeats, repeats);
    }
}

// A parcel's sums in 32 bits, unreduced while the denominator stays, big past that: always the exact sum.
TEST(ParcelSums, AddCompareAndSettleExactlyAsFractionsDo)
{
    using Terms = std::vector<std::pair<qint64, qint64>>;
    const struct {
        Terms terms;
        std::pair<qint64, qint64> other; // compared with the sum, and within 0.02 of it?
    } cases[] = {
        {{{1, 3}, {1, 3}, {1, 3}}, {1, 1}},
        {{{45050, 100}, {44950, 100}, {1, 100}}, {90003, 100}},
        {{{45050, 100}, {44950, 100}, {3, 100}}, {900, 1}},
        {{{1500000000, 2000000000}, {1500000000, 2000000000}}, {3, 2}}, // 3e9 unreduced, 3/2 reduced
        {{{1, 2}, {1, 3}, {1, 6}, {-2, 1}}, {-1, 1}},
        {{{1, 5000000001}, {1, 5000000003}}, {2, 5000000002}},
        {{{-307, 100}, {307, 100}}, {0, 1}},
        {{{2147483647, 1}, {1, 1}}, {2147483648, 1}},
    };
    for (const auto &c : cases) {
        ParcelBook book;
        Sum s;
        Fraction exact;
        for (const auto &[n, d] : c.terms) {
            exact += Fraction(n, d);
            if (!ParcelBook::add(s, n, d))
                book.set(s, book.value(s) + Fraction(n, d));
            EXPECT_TRUE(book.value(s) == exact) << exact.text().toStdString();
        }
        const Fraction other(c.other.first, c.other.second);
        Sum o;
        book.set(o, other);
        EXPECT_EQ(ParcelBook::equals(s, c.other.first, c.other.second).value_or(exact == other), exact == other);
        EXPECT_EQ(ParcelBook::isOne(s), exact == Fraction(1, 1));
        if (s.den != 0 && o.den != 0) {
            EXPECT_EQ(ParcelBook::within(s, o, 2), exact.within(other, Fraction(2, 100)).value());
        }
    }
}

// The check's integer shortcuts must read each figure exactly as its fractions do, or give way to them.
TEST(QuickFigures, ReadExactlyWhatFractionsReadOrNothing)
{
    const Value texts[] = {Value::text(QStringLiteral("450.5")),
                           Value::text(QStringLiteral(" 900.00 ")),
                           Value::text(QStringLiteral("-3")),
                           Value::text(QStringLiteral(".5")),
                           Value::text(QStringLiteral("7.")),
                           Value::text(QStringLiteral("0.125")),
                           Value::text(QStringLiteral("1e5")),
                           Value::text(QStringLiteral("-")),
                           Value::text(QStringLiteral("1.2.3")),
                           Value::text(QStringLiteral("12345678901234")),
                           Value::text(QStringLiteral("+4")),
                           Value::text(QStringLiteral(" \t450.5\u00a0")), // blanks beyond the padding spaces
                           Value::text(QStringLiteral("\u2003-3 ")),
                           Value::text(QStringLiteral(" 12\u00a034 ")),
                           Value::text(QStringLiteral("1234567890123456789012345.5")),
                           Value::number(1250.5),
                           Value::number(0.1),
                           Value::number(-0.07),
                           Value::number(1.0 / 3),
                           Value::number(1e14),
                           Value()};
    int quick = 0;
    for (const Value &v : texts) {
        const std::optional<Fraction> exact =
            v.isDouble() ? Fraction::fromDouble(v.asDouble())
                         : (v.isText() ? Fraction::fromDecimal(v.asText()) : std::optional<Fraction>());
        if (const std::optional<qint64> c = cents(v)) {
            ++quick;
            ASSERT_TRUE(exact) << c.value();
            EXPECT_TRUE(*exact == Fraction(*c, 100)) << exact->text().toStdString() << " read as " << *c;
        }
        if (const std::optional<qint64> n = wholeNumber(v)) {
            ASSERT_TRUE(exact);
            EXPECT_TRUE(*exact == Fraction(*n, 1)) << exact->text().toStdString() << " read as " << *n;
        }
    }
    EXPECT_EQ(quick, 10); // the shortcut is taken where it can be
}

} // namespace
