#include "reporttext.h"

#include "codepage.h"

#include <QHash>
#include <QStringDecoder>

namespace zefto::ui {
namespace {

// Windows-1254 gives every byte its own character, so the bytes can be had back.
const QHash<char16_t, char> &bytesOf()
{
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int b = 0; b < 256; ++b)
            t.insert(windows1254(static_cast<unsigned char>(b)), static_cast<char>(b));
        return t;
    }();
    return table;
}

} // namespace

QString asPrinted(const QString &line)
{
    QStringDecoder cp857("IBM857");
    if (!cp857.isValid())
        return line;
    QByteArray bytes;
    bytes.reserve(line.size());
    for (const QChar c : line) {
        const auto it = bytesOf().constFind(c.unicode());
        if (it == bytesOf().constEnd())
            return line; // not a line the engine read
        bytes.append(*it);
    }
    const QString printed = cp857.decode(bytes);
    return cp857.hasError() ? line : printed;
}

} // namespace zefto::ui
