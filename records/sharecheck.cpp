#include "sharecheck.h"

#include "chosen.h"
#include "fraction.h"
#include "parcelbook.h"
#include "quickfigures.h"
#include "schema.h"

#include <QHash>
#include <algorithm>

namespace zefto::records {
namespace {

using namespace schema;

std::optional<Fraction> number(const Value &v)
{
    if (v.isDouble())
        return Fraction::fromDouble(v.asDouble());
    if (v.isText())
        return Fraction::fromDecimal(v.asText());
    return std::nullopt;
}

// numerator / denominator, both non-negative numbers, the denominator not 0.
std::optional<Fraction> share(const Value &numerator, const Value &denominator)
{
    const std::optional<Fraction> n = number(numerator), d = number(denominator);
    if (!n || !d || n->numerator() < 0 || d->numerator() <= 0)
        return std::nullopt;
    return *n * Fraction(d->denominator(), d->numerator());
}

QString trimmedText(const Value &v)
{
    return v.isText() ? v.asText().trimmed() : QString();
}

QStringView trimmedView(const Value &v)
{
    return v.isText() ? quickTrimmed(v.asText()) : QStringView();
}

QString shown(const Value &v)
{
    if (v.isText())
        return u'\'' + v.asText() + u'\'';
    if (v.isDouble())
        return QString::number(v.asDouble(), 'g', 17);
    return QStringLiteral("no value");
}

QString m2(const Fraction &f)
{
    return f.decimalText() + QStringLiteral(" m²");
}

QString owners(qint64 n)
{
    return n == 1 ? QStringLiteral("1 owner") : QStringLiteral("%1 owners").arg(n);
}

const Fraction hundredth(1, 100);

// Rule 3 holding, told in hundredths: |deed − area × n/d| <= 1/100 is |deed·d − area·n| <= d.
// False when it does not or the figures need fractions. `deed`: cents(f[Tapu]), read once for both rules.
bool quickTitleDeed(const Value *f, std::optional<qint64> deed)
{
    const std::optional<qint64> area = cents(f[Ealan]), n = wholeNumber(f[Ehispay]), d = wholeNumber(f[Ehispayda]);
    if (!area || !deed || !n || !d || *d <= 0)
        return false;
    const Fraction::Int off = Fraction::Int(*deed) * *d - Fraction::Int(*area) * *n;
    return (off < 0 ? -off : off) <= *d;
}

// Rule 4 holding, told in hundredths.
bool quickAllocation(const Value *f, std::optional<qint64> deed)
{
    const std::optional<qint64> deduction = cents(f[Dop]), given = cents(f[Tahsis]);
    return deed && deduction && given && std::abs(*given - (*deed - *deduction)) <= 1;
}

// The old side of the record before (adi .. tahsis), its texts' characters
// copied into one buffer: sharing its strings instead cost two atomic counts a
// field, about a third of the check's time.
class KeptFields {
public:
    static constexpr int count = Tahsis + 1 - Adi;

    // Whether fields[0, count) equal the fields kept, as Value's == tells (never
    // the first time); keeps them when they do not.
    bool repeats(const Value *fields)
    {
        int i = 0;
        if (m_kept) {
            while (i < count && same(i, fields[i]))
                ++i;
            if (i == count)
                return true;
        }
        for (; i < count; ++i)
            keep(i, fields[i]);
        m_kept = true;
        return false;
    }

private:
    bool same(int i, const Value &v) const
    {
        if (v.kind() != m_kinds[size_t(i)])
            return false;
        if (v.isDouble())
            return v.asDouble() == m_numbers[size_t(i)];
        if (!v.isText())
            return true;
        const QStringView t = v.asText();
        const qsizetype at = m_at[size_t(i)];
        if (t.size() != m_at[size_t(i) + 1] - at)
            return false;
        return sameChars(t.utf16(), m_texts.data() + at, t.size());
    }

    // Field i, after the fields before it.
    void keep(int i, const Value &v)
    {
        m_kinds[size_t(i)] = v.kind();
        m_numbers[size_t(i)] = v.isDouble() ? v.asDouble() : 0;
        const qsizetype at = m_at[size_t(i)];
        const QStringView t = v.isText() ? QStringView(v.asText()) : QStringView();
        if (m_texts.size() < size_t(at + t.size()))
            m_texts.resize(size_t(at + t.size()) * 2);
        copyChars(m_texts.data() + at, t);
        m_at[size_t(i) + 1] = at + t.size();
    }

    bool m_kept = false;
    std::array<Value::Kind, count> m_kinds{};
    std::array<double, count> m_numbers{};
    std::array<qsizetype, count + 1> m_at{}; // where each field's text begins in m_texts, and the last ends
    std::vector<char16_t> m_texts;           // only grows
};

class Checker {
public:
    Checker(const RuleSet &rules, std::function<void(const ShareFinding &)> each)
        : m_rules(rules), m_each(std::move(each))
    {
        for (int r = 0; r < 4; ++r)
            m_result.rules[size_t(r)].skipped = !rules[size_t(r)];
    }

    void record(qint64 key, const Value *f)
    {
        Parcel &p = parcelOf(key, f);
        if (m_rules[0])
            addShare(p, key, f);
        if (m_rules[1])
            addArea(p, key, f);
        if (m_rules[2] || m_rules[3])
            checkOldSide(p, key, f);
    }

    ShareCheck finish()
    {
        for (const Parcel &p : m_book.parcels()) {
            ++m_result.parcels;
            bool off = false;
            if (m_rules[0])
                off |= !settleShares(p);
            if (m_rules[1])
                off |= !settleAreas(p);
            m_result.parcelsOff += off;
        }
        return m_result;
    }

private:
    Parcel &parcelOf(qint64 key, const Value *f)
    {
        return m_book.find(trimmedView(f[Yada]), trimmedView(f[Yparsel]), key);
    }

    QString where(const Parcel &p) const { return m_book.yada(p) + u'/' + m_book.yparsel(p); }

    static QString who(qint64 key, const Value *f)
    {
        QStringList name;
        for (const Field n : {Adi, Soyadi})
            if (!trimmedText(f[n]).isEmpty())
                name << trimmedText(f[n]);
        return QStringLiteral("record %1 (%2)")
            .arg(key)
            .arg(name.isEmpty() ? QStringLiteral("no owner") : name.join(u' '));
    }

    void report(int rule, bool unreadable, const Parcel &p, qint64 key, const QString &text)
    {
        RuleTally &t = m_result.rules[size_t(rule - 1)];
        ++(unreadable ? t.unreadable : t.broken);
        m_each(ShareFinding{rule, unreadable, m_book.yada(p), m_book.yparsel(p), key, key ? KeyRange{key, key} : p.span,
                            text});
    }

    // A record's unreadable figures are listed at once; its parcel is counted at the end.
    void unreadableRecord(int rule, const Parcel &p, qint64 key, const Value *f, const QString &what)
    {
        m_each(ShareFinding{rule,
                            true,
                            m_book.yada(p),
                            m_book.yparsel(p),
                            key,
                            {key, key},
                            QStringLiteral("%1, %2: %3 cannot be read").arg(where(p), who(key, f), what)});
    }

    void addShare(Parcel &p, qint64 key, const Value *f)
    {
        const std::optional<qint64> n = wholeNumber(f[Yhispay]), d = m_shareDenominator(f[Yhispayda]);
        if (n && d && *d > 0 && ParcelBook::add(p.shares, *n, *d))
            return;
        if (const std::optional<Fraction> s = share(f[Yhispay], f[Yhispayda])) {
            m_book.set(p.shares, m_book.value(p.shares) + *s);
            return;
        }
        p.sharesUnreadable = true;
        unreadableRecord(1, p, key, f,
                         QStringLiteral("the new share %1 / %2").arg(shown(f[Yhispay]), shown(f[Yhispayda])));
    }

    void addArea(Parcel &p, qint64 key, const Value *f)
    {
        if (quickArea(p, f))
            return;
        const std::optional<Fraction> a = number(f[Hisyuzolcumu]), y = number(f[Yalan]);
        if (!a || !y) {
            p.areasUnreadable = true;
            unreadableRecord(
                2, p, key, f,
                QStringLiteral("the share area %1 or the parcel area %2").arg(shown(f[Hisyuzolcumu]), shown(f[Yalan])));
            return;
        }
        m_book.set(p.areas, m_book.value(p.areas) + *a);
        if (!p.hasArea) {
            m_book.set(p.area, *y);
            p.hasArea = true;
        } else if (!p.areaDiffers && !(m_book.value(p.area) == *y))
            m_book.setOtherArea(p, *y);
    }

    // addArea in hundredths, when both figures are printed to the cent and nothing needs a fraction.
    bool quickArea(Parcel &p, const Value *f)
    {
        const std::optional<qint64> a = cents(f[Hisyuzolcumu]), y = m_parcelArea(f[Yalan]);
        if (!a || !y)
            return false;
        const std::optional<bool> same = p.hasArea ? ParcelBook::equals(p.area, *y, 100) : std::optional(true);
        if (!same || (!*same && !p.areaDiffers))
            return false;
        Sum areas = p.areas;
        if (!ParcelBook::add(areas, *a, 100))
            return false;
        if (!p.hasArea) {
            p.area = {};
            if (!ParcelBook::add(p.area, *y, 100))
                return false;
            p.hasArea = true;
        }
        p.areas = areas;
        return true;
    }

    bool settleShares(const Parcel &p)
    {
        RuleTally &t = m_result.rules[0];
        ++t.checked;
        if (p.sharesUnreadable) {
            ++t.unreadable;
            return false;
        }
        if (ParcelBook::isOne(p.shares))
            return true;
        const Fraction shares = m_book.value(p.shares);
        if (shares.isOverflowed()) {
            report(1, true, p, 0,
                   QStringLiteral("%1: shares too large to add up exactly (%2)").arg(where(p), owners(p.records)));
            return false;
        }
        if (shares == Fraction(1, 1))
            return true;
        report(1, false, p, 0,
               QStringLiteral("%1: shares add up to %2, not 1 (%3)").arg(where(p), shares.text(), owners(p.records)));
        return false;
    }

    bool settleAreas(const Parcel &p)
    {
        RuleTally &t = m_result.rules[1];
        ++t.checked;
        if (p.areasUnreadable) {
            ++t.unreadable;
            return false;
        }
        // Each printed share area may be off by half a hundredth, and the parcel's too.
        if (!p.areaDiffers && ParcelBook::within(p.areas, p.area, p.records))
            return true;
        const Fraction area = m_book.value(p.area), areas = m_book.value(p.areas);
        if (p.areaDiffers) {
            report(2, false, p, 0,
                   QStringLiteral("%1: its records print the parcel's area as %2 and as %3")
                       .arg(where(p), m2(area), m2(m_book.otherArea(p))));
            return false;
        }
        const std::optional<bool> close = areas.within(area, Fraction(p.records, 100));
        if (close.value_or(false))
            return true;
        report(
            2, !close, p, 0,
            close
                ? QStringLiteral("%1: share areas %2, parcel %3 (%4)")
                      .arg(where(p), m2(areas), m2(area), owners(p.records))
                : QStringLiteral("%1: share areas too large to add up exactly (%2)").arg(where(p), owners(p.records)));
        return false;
    }

    // Rules 3 and 4 look at the old side, which a continuation row repeats
    // from the record before: such a repeat is the same figures, checked once.
    void checkOldSide(const Parcel &p, qint64 key, const Value *f)
    {
        if (m_previousOld.repeats(f + Adi)) {
            ++m_result.repeats;
            return;
        }
        const std::optional<qint64> deed = cents(f[Tapu]);
        bool off = false;
        if (m_rules[2])
            off |= !titleDeed(p, key, f, deed);
        if (m_rules[3])
            off |= !allocation(p, key, f, deed);
        m_result.recordsOff += off;
    }

    // One record's figure against what it should be; false when it breaks the rule or cannot be read.
    // The words are only put together for a finding: most records hold.
    bool compare(int rule, const Parcel &p, qint64 key, const Value *f, const std::optional<Fraction> &is,
                 const std::optional<Fraction> &should, const std::function<QString(bool readable)> &words)
    {
        ++m_result.rules[size_t(rule - 1)].checked;
        const std::optional<bool> close = is && should ? is->within(*should, hundredth) : std::nullopt;
        if (close.value_or(false))
            return true;
        report(rule, !close, p, key,
               who(key, f) + QStringLiteral(", old ") + trimmedText(f[Eada]) + u'/' + trimmedText(f[Eparsel])
                   + QStringLiteral(": ") + words(close.has_value()));
        return false;
    }

    bool titleDeed(const Parcel &p, qint64 key, const Value *f, std::optional<qint64> quickDeed)
    {
        if (quickTitleDeed(f, quickDeed)) {
            ++m_result.rules[2].checked;
            return true;
        }
        const std::optional<Fraction> area = number(f[Ealan]), old = share(f[Ehispay], f[Ehispayda]),
                                      deed = number(f[Tapu]);
        const std::optional<Fraction> should = area && old ? std::optional(*area * *old) : std::nullopt;
        return compare(3, p, key, f, deed, should, [&](bool readable) {
            return readable ? QStringLiteral("title deed %1, old area %2 × %3 = %4")
                                  .arg(m2(*deed), m2(*area), old->text(), m2(*should))
                            : QStringLiteral("the old area %1, old share %2 / %3 or title deed %4 cannot be read")
                                  .arg(shown(f[Ealan]), shown(f[Ehispay]), shown(f[Ehispayda]), shown(f[Tapu]));
        });
    }

    bool allocation(const Parcel &p, qint64 key, const Value *f, std::optional<qint64> quickDeed)
    {
        if (quickAllocation(f, quickDeed)) {
            ++m_result.rules[3].checked;
            return true;
        }
        const std::optional<Fraction> deed = number(f[Tapu]), deduction = number(f[Dop]), given = number(f[Tahsis]);
        const std::optional<Fraction> should = deed && deduction ? std::optional(*deed - *deduction) : std::nullopt;
        return compare(4, p, key, f, given, should, [&](bool readable) {
            return readable ? QStringLiteral("allocation %1, title deed %2 − deduction %3 = %4")
                                  .arg(m2(*given), m2(*deed), m2(*deduction), m2(*should))
                            : QStringLiteral("the title deed %1, deduction %2 or allocation %3 cannot be read")
                                  .arg(shown(f[Tapu]), shown(f[Dop]), shown(f[Tahsis]));
        });
    }

    RuleSet m_rules;
    std::function<void(const ShareFinding &)> m_each;
    ShareCheck m_result;
    ParcelBook m_book;        // the new parcels, in order of their first record
    KeptFields m_previousOld; // adi .. tahsis of the record before
    LastFigure<wholeNumber> m_shareDenominator;
    LastFigure<cents> m_parcelArea;
};

const char *ruleNames[] = {"shares make one whole", "share areas make the parcel's area",
                           "title deed is old area × old share", "allocation is title deed − deduction"};

} // namespace

class ShareChecker::Sums : public Checker {
public:
    using Checker::Checker;
};

ShareChecker::ShareChecker(const RuleSet &rules, std::function<void(const ShareFinding &)> each)
    : m_sums(std::make_unique<Sums>(rules, std::move(each)))
{}

ShareChecker::~ShareChecker() = default;

void ShareChecker::record(qint64 key, const Value *fields)
{
    m_sums->record(key, fields);
}

ShareCheck ShareChecker::finish()
{
    return m_sums->finish();
}

ShareCheck checkShares(Database &db, KeyRange keys, const std::optional<QString> &filter, const RuleSet &rules,
                       const std::function<void(const ShareFinding &)> &each)
{
    ShareChecker checker(rules, each);
    db.readSnapshot([&] {
        forEachChosenKeyed(db, keys, filter,
                           [&](qint64 key, Fields f) { checker.record(key, f.data()); });
    });
    return checker.finish();
}

std::vector<qint64> findingKeys(Database &db, const ShareFinding &finding)
{
    if (finding.key > 0)
        return {finding.key};
    std::vector<qint64> keys;
    forEachChosenKeyed(db, finding.span, std::nullopt, [&](qint64 key, Fields f) {
        if (trimmedText(f[Yada]) == finding.yada && trimmedText(f[Yparsel]) == finding.yparsel)
            keys.push_back(key);
    });
    return keys;
}

QString ruleSummary(int rule, const ShareCheck &check)
{
    const RuleTally &t = check.rules[size_t(rule - 1)];
    const QString head = QStringLiteral("rule %1, %2: ").arg(rule).arg(QString::fromUtf8(ruleNames[rule - 1]));
    if (t.skipped)
        return head + QStringLiteral("skipped");
    QString line = head
                   + QStringLiteral("%1 %2 checked, %3 broken, %4 unreadable")
                         .arg(t.checked)
                         .arg(rule <= 2 ? QStringLiteral("parcels") : QStringLiteral("records"))
                         .arg(t.broken)
                         .arg(t.unreadable);
    if (rule > 2 && check.repeats > 0)
        line += QStringLiteral(" (%1 more repeat the old share of the record before)").arg(check.repeats);
    return line;
}

} // namespace zefto::records
