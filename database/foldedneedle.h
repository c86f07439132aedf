#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace zefto {

// What foldLetters makes of one UTF-16 unit on its own. `whole` marks a unit
// whose fold depends on its neighbours (a surrogate half, or a letter whose
// fold keeps a mark that decomposition reorders): a text holding one is
// folded whole instead. For every other text, folding it unit by unit and
// joining the pieces gives exactly foldLetters(text).
struct UnitFold {
    QStringView folded;
    bool whole = false;
};
UnitFold foldUnit(char16_t unit);

// One needle, folded once, searched for in many texts without allocating:
// foundIn(text) says what containsFolded(text, needle) says.
class FoldedNeedle {
public:
    explicit FoldedNeedle(const QString &needle);

    bool foundIn(QStringView text);
    // The needle as foldLetters folds it.
    const QString &folded() const { return m_needle; }

private:
    QString m_needle;
    std::vector<char16_t> m_text; // the text being searched, folded; reused from text to text
};

} // namespace zefto
