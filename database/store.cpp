#include "store.h"

#include "error.h"
#include "filter.h"

#include <algorithm>

namespace zefto {

qint64 keyIn(const QStringList &columns, const Record &record)
{
    const qsizetype at = columns.indexOf(QStringLiteral("id"));
    return at >= 0 && size_t(at) < record.size() && record[size_t(at)].isDouble()
               ? qint64(record[size_t(at)].asDouble())
               : 0;
}

void Store::finishThenRelease(const std::function<void()> &release)
{
    std::optional<Error> failure;
    rollbackRun();
    try {
        commitPending();
    } catch (const Error &e) {
        failure = e;
    }
    release();
    if (failure)
        throw *failure;
}

// Read a block at a time and tested here: for a store that cannot test in its queries.
void Store::readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                         const std::function<void(const Record &)> &each)
{
    constexpr int block = 4096;
    FoldedNeedle needle(text);
    const auto at = filter::positions(columns());
    int found = 0;
    for (int read = block; read == block && found < limit;) {
        read = 0;
        readAfter(within, after, block, [&](const Record &r) {
            ++read;
            if (found == limit)
                return;
            after = keyIn(columns(), r);
            if (filter::matches(at, r, needle)) {
                ++found;
                each(r);
            }
        });
    }
}

void Store::matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                         const std::function<void(qint64 key)> &each)
{
    constexpr int block = 4096;
    const KeyRange slice{within.first, std::min(within.second, upTo)};
    for (int found = block; found == block;) {
        found = 0;
        readMatching(slice, after, block, text, [&](const Record &r) {
            ++found;
            after = keyIn(columns(), r);
            each(after);
        });
    }
}

} // namespace zefto
