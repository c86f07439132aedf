#include "recordpager.h"

#include "chosen.h"
#include "recordrows.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace zefto::records {

void RecordPager::show(KeyRange keys, const QString &filter)
{
    m_keys = keys;
    m_filter = filter;
    m_total = keys.first > 0 ? m_db.countRecords(keys) : 0;
    arrange();
}

void RecordPager::sortBy(Order order)
{
    m_order = order;
    // The same records in another order: their count stands (a refresh counts again).
    arrange();
}

void RecordPager::arrange()
{
    m_cache.clear();
    m_known.clear();
    m_matches.clear();
    m_sorted.clear();
    m_tail.clear();
    m_sortedAll = true;
    if (sorted() && m_total > 0) {
        // A filter's matches are picked from every key in order.
        m_sortedAll = false;
        readSorted(m_filter.isEmpty() ? firstSortedKeys : m_total);
    }
    m_scannedTo = m_keys.first - 1;
    m_scanDone = m_filter.isEmpty() || m_total == 0;
}

void RecordPager::readSorted(qint64 rows)
{
    if (m_sortedAll || qint64(m_sorted.size()) >= rows)
        return;
    qint64 limit = std::max(rows, 4 * qint64(m_sorted.size()));
    // Most of the table costs what all of it does.
    if ((limit + qint64(m_tail.size())) * 2 >= m_total)
        limit = -1;
    m_sorted = m_db.sortedKeys(m_keys, m_order.field, m_order.descending, limit);
    m_sortedAll = limit < 0 || qint64(m_sorted.size()) < limit;
    if (m_sortedAll) {
        m_tail.clear();
        m_total = qint64(m_sorted.size()); // records added or removed since the count
    }
}

// The reverse order's first keys are this order's last: descending is ascending reversed exactly.
void RecordPager::readTail(qint64 rows)
{
    if (m_sortedAll || qint64(m_tail.size()) >= rows)
        return;
    // As many as the first screens at least: a jump to the end shows rows of two windows.
    const qint64 limit = std::max({rows, 4 * qint64(m_tail.size()), firstSortedKeys});
    if ((limit + qint64(m_sorted.size())) * 2 >= m_total) {
        readSorted(m_total);
        return;
    }
    m_tail = m_db.sortedKeys(m_keys, m_order.field, !m_order.descending, limit);
    if (qint64(m_tail.size()) < limit) { // the whole range after all
        m_sorted.assign(m_tail.rbegin(), m_tail.rend());
        m_tail.clear();
        m_sortedAll = true;
        m_total = qint64(m_sorted.size());
    }
}

void RecordPager::readListed(qint64 first, qint64 last)
{
    if (listedKey(first) && listedKey(last))
        return;
    if (m_total - first < last + 1)
        readTail(m_total - first);
    else
        readSorted(last + 1);
    if (!listedKey(first) || !listedKey(last))
        readSorted(m_total); // a block across both ends' gap
}

std::optional<qint64> RecordPager::listedKey(qint64 r) const
{
    const std::vector<qint64> &keys = m_filter.isEmpty() ? m_sorted : m_matches;
    if (r >= 0 && r < qint64(keys.size()))
        return keys[size_t(r)];
    const qint64 fromEnd = m_total - 1 - r;
    if (m_filter.isEmpty() && fromEnd >= 0 && fromEnd < qint64(m_tail.size()))
        return m_tail[size_t(fromEnd)];
    return std::nullopt;
}

// The filter's matches in the sorted order: the database finds them, in one reading.
bool RecordPager::scanSorted()
{
    std::unordered_set<qint64> matching;
    m_db.matchingKeys(m_keys, m_keys.first - 1, m_keys.second, m_filter, [&](qint64 key) { matching.insert(key); });
    for (qint64 key : m_sorted)
        if (matching.count(key) != 0)
            m_matches.push_back(key);
    m_scanDone = true;
    m_cache.clear();
    return false;
}

bool RecordPager::scanFilter(int records)
{
    if (m_scanDone)
        return false;
    if (sorted())
        return scanSorted();
    // The key `records` records on bounds this slice; without one, the slice runs to the end.
    const std::optional<qint64> last = m_db.keyAt(m_keys, m_scannedTo + 1, records - 1, false);
    const qint64 upTo = last ? *last : m_keys.second;
    m_db.matchingKeys(m_keys, m_scannedTo, upTo, m_filter, [&](qint64 key) { m_matches.push_back(key); });
    m_scannedTo = upTo;
    m_scanDone = !last || upTo >= m_keys.second;
    // The last window may have been read short while matches were still coming.
    m_cache.remove_if([](const Window &w) { return w.rows.size() < size_t(windowRows); });
    return !m_scanDone;
}

const Row &RecordPager::row(qint64 r)
{
    static const Row none;
    if (r < 0 || r >= rows())
        return none;
    const Window &w = window(r / windowRows);
    const size_t at = size_t(r % windowRows);
    return at < w.rows.size() ? w.rows[at] : none;
}

RecordPager::Window &RecordPager::window(qint64 index)
{
    const auto held = std::find_if(m_cache.begin(), m_cache.end(), [&](const Window &w) { return w.index == index; });
    if (held != m_cache.end()) {
        m_cache.splice(m_cache.begin(), m_cache, held);
        return m_cache.front();
    }
    m_cache.push_front(Window{index, fetch(index)});
    if (m_cache.size() > size_t(maxWindows))
        m_cache.pop_back();
    // What the pager holds stays a few windows of at most windowRows rows, whatever the table's size.
    Q_ASSERT(m_cache.size() <= size_t(maxWindows) && m_cache.front().rows.size() <= size_t(windowRows));
    return m_cache.front();
}

Row RecordPager::rowOf(const Record &r) const
{
    const QStringList &columns = m_db.columns();
    return Row{keyOf(columns, r), inFieldOrder(columns, r)};
}

std::vector<Row> RecordPager::fetch(qint64 index)
{
    std::vector<Row> out;
    const qint64 first = index * windowRows;
    if (first >= rows())
        return out;
    if (sorted() || !m_filter.isEmpty()) {
        if (m_filter.isEmpty())
            readListed(first, std::min(first + windowRows, rows()) - 1);
        std::vector<qint64> keys;
        for (qint64 r = first; r < std::min(first + windowRows, rows()); ++r)
            if (const std::optional<qint64> k = listedKey(r))
                keys.push_back(*k);
        return fetchKeys(keys);
    }
    const std::optional<qint64> key = keyOfRow(first);
    if (!key)
        return out;
    m_db.readAfter(m_keys, *key - 1, windowRows, [&](const Record &r) { out.push_back(rowOf(r)); });
    if (!out.empty()) {
        m_known[first] = out.front().key;
        m_known[first + qint64(out.size()) - 1] = out.back().key;
    }
    return out;
}

// The rows of these keys in this order; a record removed since it was listed
// keeps its row, empty, so the rows below do not move.
std::vector<Row> RecordPager::fetchKeys(const std::vector<qint64> &keys)
{
    std::vector<Row> out;
    out.reserve(keys.size());
    forEachListed(m_db, keys, [&](qint64 k, const std::vector<Value> &fields) { out.push_back(Row{k, fields}); });
    return out;
}

std::vector<KeyRange> RecordPager::keysOfRows(qint64 first, qint64 last)
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, rows() - 1);
    if (first > last)
        return {};
    if (!sorted() && m_filter.isEmpty()) {
        const std::optional<qint64> from = keyOfRow(first), to = keyOfRow(last);
        return from && to ? std::vector<KeyRange>{{*from, *to}} : std::vector<KeyRange>{};
    }
    if (m_filter.isEmpty())
        readListed(first, last);
    std::vector<KeyRange> out;
    for (qint64 r = first; r <= std::min(last, rows() - 1); ++r) {
        const std::optional<qint64> listed = listedKey(r);
        if (!listed)
            continue;
        const qint64 k = *listed;
        if (!out.empty() && out.back().second + 1 == k)
            out.back().second = k;
        else
            out.push_back({k, k});
    }
    return out;
}

std::vector<qint64> RecordPager::rowsOfKeys(const std::vector<qint64> &keys) const
{
    std::vector<qint64> rows(keys.size(), -1);
    if (!sorted() && m_filter.isEmpty())
        return rows;
    std::unordered_map<qint64, qint64> rowOf; // key -> row, for the keys asked about
    for (qint64 k : keys)
        rowOf.emplace(k, -1);
    const std::vector<qint64> &listed = m_filter.isEmpty() ? m_sorted : m_matches;
    for (size_t r = 0; r < listed.size(); ++r)
        if (const auto at = rowOf.find(listed[r]); at != rowOf.end())
            at->second = qint64(r);
    for (size_t i = 0; m_filter.isEmpty() && i < m_tail.size(); ++i)
        if (const auto at = rowOf.find(m_tail[i]); at != rowOf.end())
            at->second = m_total - 1 - qint64(i);
    std::transform(keys.begin(), keys.end(), rows.begin(), [&](qint64 k) { return rowOf[k]; });
    return rows;
}

// The key of row r, counted from the nearest row whose key is known or from
// either end of the range: a jump to the end costs as little as the start.
std::optional<qint64> RecordPager::keyOfRow(qint64 r)
{
    qint64 from = m_keys.first, steps = r;
    bool down = false;
    const auto consider = [&](qint64 key, qint64 distance, bool downwards) {
        if (distance < steps) {
            from = key;
            steps = distance;
            down = downwards;
        }
    };
    consider(m_keys.second, m_total - 1 - r, true);
    const auto above = m_known.lower_bound(r);
    if (above != m_known.end())
        consider(above->second, above->first - r, true);
    if (above != m_known.begin())
        consider(std::prev(above)->second, r - std::prev(above)->first, false);
    // A few thousand windows' ends at most; after that, start afresh.
    if (m_known.size() > 4096)
        m_known.clear();
    return m_db.keyAt(m_keys, from, steps, down);
}

} // namespace zefto::records
