#include "foldedneedle.h"

#include "letterfold.h"

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
        }
    }
    UnitFold operator[](char16_t unit) const
    {
        const Entry &e = m_entries[unit];
        return {QStringView(m_pool).mid(e.at, e.length), e.whole};
    }

private:
    struct Entry {
        quint32 at;      // where the fold starts in m_pool
        quint16 length;  // 0 for a mark that folding drops
        bool whole;
    };
    std::array<Entry, 0x10000> m_entries;
    QString m_pool;
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

FoldedNeedle::FoldedNeedle(const QString &needle) : m_needle(foldLetters(needle)) {}

bool FoldedNeedle::foundIn(QStringView text)
{
    if (m_needle.isEmpty())
        return true;
    const UnitTable &units = table();
    m_text.resize(0);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) { // ASCII folds to itself lowered: the common case, without the table
            m_text += QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
            continue;
        }
        const UnitFold f = units[u];
        if (f.whole)
            return foldLetters(text.toString()).contains(m_needle);
        m_text += f.folded;
    }
    return QStringView(m_text).contains(m_needle);
}

} // namespace zefto
