#include "foldedneedle.h"

#include "letterfold.h"

#include <algorithm>
#include <array>

namespace zefto {
namespace {

// Every unit's fold, worked out once through foldLetters itself, so the
// table cannot drift from the rule: a few milliseconds at first use.
class UnitTable {
public:
    UnitTable()
    {
        for (char32_t u = 0; u <= 0xFFFF; ++u) {
            const QChar c{char16_t(u)};
            if (c.isSurrogate()) {
                m_entries[u] = {0, 0, true};
                continue;
            }
            const QString folded = foldLetters(QString(c));
            bool whole = false;
            for (QChar f : folded)
                whole = whole || f.combiningClass() != 0;
            m_entries[u] = {quint32(m_pool.size()), quint16(folded.size()), whole};
            m_pool += folded;
            m_longest = std::max(m_longest, folded.size());
        }
    }
    UnitFold operator[](char16_t unit) const
    {
        const Entry &e = m_entries[unit];
        return {QStringView(m_pool).mid(e.at, e.length), e.whole};
    }
    qsizetype longest() const { return m_longest; } // the most units one unit folds to

private:
    struct Entry {
        quint32 at;     // where the fold starts in m_pool
        quint16 length; // 0 for a mark that folding drops
        bool whole;
    };
    std::array<Entry, 0x10000> m_entries;
    QString m_pool;
    qsizetype m_longest = 1;
};

const UnitTable &table()
{
    static const UnitTable units; // built once, thread-safe
    return units;
}

} // namespace

UnitFold foldUnit(char16_t unit)
{
    return table()[unit];
}

FoldedNeedle::FoldedNeedle(const QString &needle) : m_needle(foldLetters(needle))
{}

bool FoldedNeedle::foundIn(QStringView text)
{
    if (m_needle.isEmpty())
        return true;
    const UnitTable &units = table();
    // Room for the longest fold of every unit, so nothing is reallocated while writing.
    if (m_text.size() < size_t(text.size() * units.longest()))
        m_text.resize(size_t(text.size() * units.longest()));
    char16_t *out = m_text.data();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) { // ASCII folds to itself lowered: the common case, without the table
            *out++ = u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
            continue;
        }
        const UnitFold f = units[u];
        if (f.whole)
            return foldLetters(text.toString()).contains(m_needle);
        for (QChar g : f.folded)
            *out++ = g.unicode();
    }
    return QStringView(m_text.data(), out - m_text.data()).contains(m_needle);
}

} // namespace zefto
