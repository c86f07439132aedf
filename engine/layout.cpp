#include "layout.h"

namespace zefto::layout {

QStringView cut(QStringView line, Column c)
{
    const qsizetype from = c.start - 1;
    if (line.size() <= from)
        return u"";
    return line.sliced(from, std::min<qsizetype>(c.length, line.size() - from));
}

Values cutAll(QStringView line)
{
    Values v;
    for (int i = 0; i < ColumnCount; ++i)
        v[i] = cut(line, columns[i]);
    return v;
}

RowKind classify(QStringView ownerName)
{
    // The owner name column under a CP857 horizontal bar (0xC4, read as Ä).
    static const QString rule(21, QChar(0x00C4));
    static const QString signature = QStringLiteral("     KONTROL EDEN    ");
    static const QString blanks(21, u' ');
    if (ownerName == rule || ownerName == signature)
        return ownerName == rule ? RowKind::Rule : RowKind::Signature;
    if (ownerName == blanks)
        return RowKind::Continuation;
    return RowKind::Owner;
}

bool inDataBlock(int n)
{
    return n > headerLines && (n - headerLines - 1) % pageLines < blockLines;
}

} // namespace zefto::layout
