#pragma once

#include "fraction.h"
#include "store.h"

#include <QHash>
#include <QStringView>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace zefto::records {

// A running sum: num/den in 32 bits while it fits (den > 0, not always reduced:
// adding over the same denominator needs no division), else (den 0) num is
// its place among the book's big sums.
struct Sum {
    qint32 num = 0, den = 1;
};

// One new parcel's sums: what the check keeps per parcel, never per record.
struct Parcel {
    quint32 id = 0; // where the book keeps its yada and yparsel (trimmed)
    bool sharesUnreadable = false, areasUnreadable = false;
    bool hasArea = false;     // `area` holds the parcel's area as its first readable record prints it
    bool areaDiffers = false; // another record prints a different one (the book keeps the first such)
    qint64 records = 0;
    KeyRange span{0, 0}; // its first and last record
    Sum shares, areas, area;
};
// A 520-page run has 10,400 parcels, a merged district's table hundreds of thousands.
static_assert(sizeof(Parcel) <= 56, "a parcel's state is kept small");

// The new parcels a check has seen, in the order of their first record, kept
// small: the 10,400 parcels of a 520-page run must not cost megabytes. Keys
// are one text with a table of parcel numbers over it; sums take 32 bits
// each when they fit.
class ParcelBook {
public:
    ParcelBook();
    // The parcel (yada, yparsel), added with `key` as its first record when new.
    Parcel &find(QStringView yada, QStringView yparsel, qint64 key);
    const std::deque<Parcel> &parcels() const { return m_parcels; }

    QString yada(const Parcel &p) const;
    QString yparsel(const Parcel &p) const;

    Fraction value(const Sum &s) const;
    void set(Sum &s, const Fraction &f);
    // s + num/den (den > 0, both below 2^53) in integers; false, changing
    // nothing, when s is big or the sum, reduced, would be.
    static bool add(Sum &s, qint64 num, qint64 den);
    // Whether s is num/den (den > 0, both below 2^53); nothing when s is big.
    static std::optional<bool> equals(const Sum &s, qint64 num, qint64 den);
    // Whether s is exactly 1; false when it is big.
    static bool isOne(const Sum &s) { return s.den > 0 && s.num == s.den; }
    // Whether |a - b| <= hundredths/100 (hundredths >= 0), told in integers; false when either is big.
    static bool within(const Sum &a, const Sum &b, qint64 hundredths);

    // The different area a parcel's records print, once areaDiffers is set.
    void setOtherArea(Parcel &p, const Fraction &f);
    Fraction otherArea(const Parcel &p) const { return m_otherAreas.value(&p); }

private:
    QStringView key(quint32 id) const;
    bool matches(quint32 id, QStringView yada, QStringView yparsel) const;
    size_t hash(QStringView yada, QStringView yparsel) const;
    quint32 keep(QStringView yada, QStringView yparsel); // the new key's id
    Parcel &lookUp(QStringView yada, QStringView yparsel, qint64 key);
    void grow();

    std::deque<Parcel> m_parcels; // never moved: pointers to parcels stay valid
    // Each key: its length and yada's in two characters each, yada, yparsel.
    static constexpr qsizetype keyChunk = 4096;     // characters
    static constexpr quint32 longKey = 0x80000000u; // in an id: the key is one of m_longKeys
    std::vector<std::unique_ptr<QChar[]>> m_chunks;
    qsizetype m_chunkUsed = 0;
    std::deque<QString> m_longKeys;
    std::vector<quint32> m_slots; // open addressing: parcel number + 1, 0 for a free slot
    size_t m_seed;                // this process's hash seed, so no report can make every key collide
    Parcel *m_last = nullptr;     // the parcel found last
    std::deque<Fraction> m_big;   // sums past 32 bits (or overflowed)
    QHash<const Parcel *, Fraction> m_otherAreas;
};

} // namespace zefto::records
