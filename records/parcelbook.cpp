#include "parcelbook.h"

#include <limits>

namespace zefto::records {
namespace {

bool fits(Fraction::Int v)
{
    return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

void appendSize(QString &s, qsizetype n)
{
    s.append(QChar(char16_t(quint32(n) >> 16))).append(QChar(char16_t(n & 0xffff)));
}

qsizetype sizeAt(QStringView s, qsizetype at)
{
    return (qsizetype(s[at].unicode()) << 16) | s[at + 1].unicode();
}

} // namespace

// Both lengths lead the key, so no pair of texts makes another pair's key.
QStringView ParcelBook::key(quint32 id) const
{
    return QStringView(m_keys).mid(id, 4 + sizeAt(m_keys, id));
}

Parcel &ParcelBook::find(QStringView yada, QStringView yparsel, qint64 key)
{
    m_key.clear();
    appendSize(m_key, yada.size() + yparsel.size());
    appendSize(m_key, yada.size());
    m_key.append(yada).append(yparsel);
    if (m_slots.size() < 2 * (m_parcels.size() + 1))
        grow();
    const size_t mask = m_slots.size() - 1;
    size_t slot = qHash(QStringView(m_key)) & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        Parcel &p = m_parcels[m_slots[slot] - 1];
        if (this->key(p.id) == QStringView(m_key)) {
            p.span.second = key;
            ++p.records;
            return p;
        }
    }
    Q_ASSERT(m_keys.size() < std::numeric_limits<quint32>::max());
    Parcel &p = m_parcels.emplace_back();
    p.id = quint32(m_keys.size());
    m_keys.append(m_key);
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
    for (size_t i = 0; i < m_parcels.size(); ++i) {
        size_t slot = qHash(key(m_parcels[i].id)) & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = quint32(i + 1);
    }
}

QString ParcelBook::yada(const Parcel &p) const
{
    return key(p.id).mid(4, sizeAt(m_keys, p.id + 2)).toString();
}

QString ParcelBook::yparsel(const Parcel &p) const
{
    return key(p.id).mid(4 + sizeAt(m_keys, p.id + 2)).toString();
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

void ParcelBook::setOtherArea(Parcel &p, const Fraction &f)
{
    p.areaDiffers = true;
    m_otherAreas.insert(&p, f);
}

} // namespace zefto::records
