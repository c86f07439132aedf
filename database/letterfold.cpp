#include "letterfold.h"

namespace zefto {
namespace {

// Plain ASCII needs no decomposition: lowering it is the whole fold.
bool isAscii(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

QString foldLetters(const QString &text)
{
    if (isAscii(text))
        return text.toLower();
    // Decomposing splits ç into c + cedilla and İ into I + dot above; the marks are then dropped.
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        // The dotless ı has no decomposition: it is the same letter as i here.
        folded += c.unicode() == u'ı' ? QChar(u'i') : c.toLower();
    }
    return folded;
}

bool containsFolded(const QString &text, const QString &needle)
{
    return foldLetters(text).contains(foldLetters(needle));
}

} // namespace zefto
