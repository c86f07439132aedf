#pragma once

#include "database.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace zefto::records {

// The arithmetic a share table carries, checked on stored records:
// 1. the shares of each new parcel (yada, yparsel) add up to exactly one;
// 2. its share areas add up to the parcel's area, within 0.01 m² per record;
// 3. each record's title-deed figure is its old area times its old share, within 0.01 m²;
// 4. each record's allocation is its title-deed figure less the deduction, within 0.01 m².
// Shares are exact fractions; areas are decimals as printed (stored doubles
// are read back as the shortest decimal that gives them).

// One parcel or record that breaks a rule, or whose figures for it cannot be read.
struct ShareFinding {
    int rule = 0;            // 1 to 4
    bool unreadable = false; // its figures could not be read; otherwise they do not add up
    QString yada, yparsel;   // the new parcel (trimmed)
    qint64 key = 0;          // the record (0 for a parcel's sum)
    KeyRange span{0, 0};     // a parcel's first and last record; (key, key) for a record
    QString text;            // what an operator reads: "300/4: shares add up to 5/6, not 1 (3 owners)"
};

// What the check found, per rule, and the two counts a run's end reports.
struct ShareCheck {
    ShareTally rules;
    qint64 parcels = 0;    // new parcels seen
    qint64 parcelsOff = 0; // of them breaking rule 1 or 2, or unreadable for either
    qint64 recordsOff = 0; // records breaking rule 3 or 4, or unreadable for either
    qint64 repeats = 0;    // records whose old side repeats the record before (checked once)
    bool anything() const { return parcelsOff > 0 || recordsOff > 0; }
};

// Which rules to check (index 0 is rule 1).
using RuleSet = std::array<bool, 4>;
inline constexpr RuleSet allRules{true, true, true, true};

// The check fed one record at a time (the 19 fields, in key order), as a run
// stores them or as checkShares reads them back. Memory grows with the new
// parcels, not the records.
class ShareChecker {
public:
    ShareChecker(const RuleSet &rules, std::function<void(const ShareFinding &)> each);
    ~ShareChecker();
    ShareChecker(const ShareChecker &) = delete;
    ShareChecker &operator=(const ShareChecker &) = delete;
    // `fields`: the 19 fields in table order.
    void record(qint64 key, const Value *fields);
    // Settles the parcels; call once, after the last record.
    ShareCheck finish();

private:
    class Sums;
    std::unique_ptr<Sums> m_sums;
};

// Checks the records with keys in `keys` that match `filter`, in one snapshot,
// reading them in key order a few thousand at a time; memory grows with the
// number of new parcels, not records. Record findings reach `each` as they
// are found, parcel findings after the last record, by the parcel's first key.
// Throws Error when the records cannot be read.
ShareCheck checkShares(Database &db, KeyRange keys, const std::optional<QString> &filter, const RuleSet &rules,
                       const std::function<void(const ShareFinding &)> &each);

// The keys of the records a finding is about: its record, or every record of
// its parcel (read again, within the parcel's first and last key).
std::vector<qint64> findingKeys(Database &db, const ShareFinding &finding);

// The summary line of one rule: "rule 1, shares make one whole: 41 parcels checked, 3 broken, 0 unreadable".
QString ruleSummary(int rule, const ShareCheck &check);

} // namespace zefto::records
