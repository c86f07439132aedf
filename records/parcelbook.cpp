#include "parcelbook.h"

#include "quickfigures.h"

#include <QHashSeed>
#include <algorithm>
#include <limits>
#include <numeric>

namespace zefto::records {
namespace {

bool fits(Fraction::Int v)
{
    return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

// Sums and products whose magnitude stays below this are reduced in 64 bits.
constexpr Fraction::Int maxExact = std::numeric_limits<qint64>::max();

void putSize(QChar *at, qsizetype n)
{
    at[0] = QChar(char16_t(quint32(n) >> 16));
    at[1] = QChar(char16_t(n & 0xffff));
}

qsizetype sizeAt(QStringView s, qsizetype at)
{
    return (qsizetype(s[at].unicode()) << 16) | s[at + 1].unicode();
}

} // namespace

ParcelBook::ParcelBook() : m_seed(size_t(QHashSeed::globalSeed()))
{}

// Both lengths lead the key, so no pair of texts makes another pair's key.
QStringView ParcelBook::key(quint32 id) const
{
    const QChar *at =
        (id & longKey) ? m_longKeys[id & ~longKey].constData() : m_chunks[id / keyChunk].get() + id % keyChunk;
    return QStringView(at, 4 + sizeAt(QStringView(at, 2), 0));
}

bool ParcelBook::matches(quint32 id, QStringView yada, QStringView yparsel) const
{
    const QStringView known = key(id);
    return known.size() == 4 + yada.size() + yparsel.size() && sizeAt(known, 2) == yada.size()
           && sameChars(yada.utf16(), known.utf16() + 4, yada.size())
           && sameChars(yparsel.utf16(), known.utf16() + 4 + yada.size(), yparsel.size());
}

// FNV-1a over yada's length and both texts' characters, its high bits folded into the low ones the table uses.
size_t ParcelBook::hash(QStringView yada, QStringView yparsel) const
{
    constexpr size_t prime = 0x100000001b3;
    size_t h = (m_seed ^ size_t(yada.size())) * prime;
    for (const QStringView text : {yada, yparsel})
        for (const char16_t *c = text.utf16(), *end = c + text.size(); c != end; ++c)
            h = (h ^ *c) * prime;
    return h ^ (h >> 32);
}

Parcel &ParcelBook::find(QStringView yada, QStringView yparsel, qint64 key)
{
    // A parcel's records mostly follow one another: try the parcel of the record before first.
    if (m_last && matches(m_last->id, yada, yparsel)) {
        m_last->span.second = key;
        ++m_last->records;
        return *m_last;
    }
    m_last = &lookUp(yada, yparsel, key);
    return *m_last;
}

Parcel &ParcelBook::lookUp(QStringView yada, QStringView yparsel, qint64 key)
{
    if (m_slots.size() < 2 * (m_parcels.size() + 1))
        grow();
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash(yada, yparsel) & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        Parcel &p = m_parcels[m_slots[slot] - 1];
        if (matches(p.id, yada, yparsel)) {
            p.span.second = key;
            ++p.records;
            return p;
        }
    }
    Parcel &p = m_parcels.emplace_back();
    p.id = keep(yada, yparsel);
    p.span = {key, key};
    p.records = 1;
    m_slots[slot] = quint32(m_parcels.size());
    return p;
}

// Doubles the table (at most half full, so a probe ends soon) and places every parcel again.
void ParcelBook::grow()
{
    m_slots.assign(std::max<size_t>(64, m_slots.size() * 2), 0);
    const size_t mask = m_slots.size() - 1;
    quint32 number = 0;
    for (const Parcel &p : m_parcels) {
        const QStringView k = key(p.id);
        const qsizetype yadaSize = sizeAt(k, 2);
        size_t slot = hash(k.mid(4, yadaSize), k.mid(4 + yadaSize)) & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = ++number;
    }
}

// In chunks that never move or grow (a doubling text would hold twice the keys at
// its peak); a key is never split between two, and one longer than a chunk is kept alone.
quint32 ParcelBook::keep(QStringView yada, QStringView yparsel)
{
    const qsizetype size = 4 + yada.size() + yparsel.size();
    QChar *at;
    quint32 id;
    if (size > keyChunk) {
        m_longKeys.emplace_back(size, Qt::Uninitialized);
        Q_ASSERT(m_longKeys.size() < longKey);
        at = m_longKeys.back().data();
        id = longKey | quint32(m_longKeys.size() - 1);
    } else {
        if (m_chunks.empty() || m_chunkUsed + size > keyChunk) {
            Q_ASSERT(m_chunks.size() < longKey / keyChunk);
            m_chunks.push_back(std::make_unique<QChar[]>(size_t(keyChunk)));
            m_chunkUsed = 0;
        }
        at = m_chunks.back().get() + m_chunkUsed;
        id = quint32((m_chunks.size() - 1) * keyChunk + m_chunkUsed);
        m_chunkUsed += size;
    }
    putSize(at, yada.size() + yparsel.size());
    putSize(at + 2, yada.size());
    copyChars(reinterpret_cast<char16_t *>(at + 4), yada);
    copyChars(reinterpret_cast<char16_t *>(at + 4 + yada.size()), yparsel);
    return id;
}

QString ParcelBook::yada(const Parcel &p) const
{
    return key(p.id).mid(4, sizeAt(key(p.id), 2)).toString();
}

QString ParcelBook::yparsel(const Parcel &p) const
{
    return key(p.id).mid(4 + sizeAt(key(p.id), 2)).toString();
}

Fraction ParcelBook::value(const Sum &s) const
{
    return s.den != 0 ? Fraction(s.num, s.den) : m_big[size_t(s.num)];
}

void ParcelBook::set(Sum &s, const Fraction &f)
{
    // Once big, a sum keeps its place: each takes at most one, however its size goes.
    if (s.den == 0) {
        m_big[size_t(s.num)] = f;
        return;
    }
    if (!f.isOverflowed() && fits(f.numerator()) && fits(f.denominator())) {
        s = {qint32(f.numerator()), qint32(f.denominator())};
        return;
    }
    Q_ASSERT(m_big.size() < size_t(std::numeric_limits<qint32>::max()));
    m_big.push_back(f);
    s = {qint32(m_big.size() - 1), 0};
}

bool ParcelBook::add(Sum &s, qint64 num, qint64 den)
{
    if (s.den == 0)
        return false;
    // A parcel's shares and areas mostly share one denominator: no reducing.
    if (den == s.den || s.num == 0) {
        const qint64 sum = s.num + num;
        if (fits(sum) && fits(den)) {
            s = {qint32(sum), qint32(den)};
            return true;
        }
    }
    // |s.num|, s.den < 2^31 and num, den < 2^53: every product fits in 84 bits.
    const Fraction::Int n = Fraction::Int(s.num) * den + Fraction::Int(num) * s.den, d = Fraction::Int(s.den) * den;
    qint64 reducedNum, reducedDen;
    if (n >= -maxExact && n <= maxExact && d <= maxExact) {
        // Within 64 bits the gcd and the divisions are single instructions, not 128-bit calls.
        const qint64 g = std::gcd(qint64(n), qint64(d));
        reducedNum = qint64(n) / g;
        reducedDen = qint64(d) / g;
    } else {
        const Fraction sum(n, d);
        if (!fits(sum.numerator()) || !fits(sum.denominator()))
            return false;
        reducedNum = qint64(sum.numerator());
        reducedDen = qint64(sum.denominator());
    }
    if (!fits(reducedNum) || !fits(reducedDen))
        return false;
    s = {qint32(reducedNum), qint32(reducedDen)};
    return true;
}

std::optional<bool> ParcelBook::equals(const Sum &s, qint64 num, qint64 den)
{
    if (s.den == 0)
        return std::nullopt;
    // Both denominators positive: equal values, reduced or not, have equal cross products.
    return Fraction::Int(s.num) * den == Fraction::Int(num) * s.den;
}

bool ParcelBook::within(const Sum &a, const Sum &b, qint64 hundredths)
{
    if (a.den == 0 || b.den == 0)
        return false;
    // |a.num/a.den - b.num/b.den| <= h/100 is 100·|a.num·b.den - b.num·a.den| <= h·a.den·b.den:
    // below 2^71 and 2^126, so nothing overflows 128 bits.
    const Fraction::Int off = Fraction::Int(a.num) * b.den - Fraction::Int(b.num) * a.den;
    return 100 * (off < 0 ? -off : off) <= Fraction::Int(hundredths) * a.den * b.den;
}

void ParcelBook::setOtherArea(Parcel &p, const Fraction &f)
{
    p.areaDiffers = true;
    m_otherAreas.insert(&p, f);
}

} // namespace zefto::records
