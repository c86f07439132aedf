#pragma once

#include "database.h"

#include <QString>
#include <list>
#include <map>
#include <vector>

namespace zefto::records {

// One row a browser shows: the record's key and its 19 fields (none when
// the record went away after it was counted).
struct Row {
    qint64 key = 0;
    std::vector<Value> fields;
};

// The records of ovrekson as rows 0..rows()-1 in key order, read from the
// database a window of rows at a time by key, never by position: the keys have
// gaps after an undo. Sorted by a field, the pager holds the keys in that
// order (8 bytes a record) and reads windows by those keys: first only the
// keys of the first screens (the database keeps the best few while scanning,
// instead of sorting them all), more as rows further down are asked for, and
// the last screens' keys the same way in the reverse order.
// Only the last few windows read are kept, so memory does not grow with the
// table; a filter keeps the key of each match.
class RecordPager {
public:
    static constexpr int windowRows = 256;
    static constexpr int maxWindows = 8;
    // Sorted keys read at first; each further read takes at least four times as many.
    static constexpr qint64 firstSortedKeys = 4 * windowRows;

    explicit RecordPager(Database &db) : m_db(db) {}

    // How rows are ordered: by key, or by one field (schema order) as the store sorts it.
    struct Order {
        int field = -1; // -1: by key
        bool descending = false;
        bool operator==(const Order &) const = default;
    };

    // Shows the records with keys in `keys` (allKeys or one conversion's);
    // with a filter, only those matching it, found by scanFilter.
    void show(KeyRange keys, const QString &filter);
    // Orders the same rows anew (the store sorts; the pager keeps the keys in that order) and shows them again.
    void sortBy(Order order);
    Order order() const { return m_order; }
    // Counts again and forgets every window: the table changed underneath.
    void reload() { show(m_keys, m_filter); }

    // Records with keys in the range: the table's count(*).
    qint64 total() const { return m_total; }
    // Rows shown: total(), or the matches found so far.
    qint64 rows() const { return m_filter.isEmpty() ? m_total : qint64(m_matches.size()); }
    // A filter whose scan has not reached the last record yet.
    bool filtering() const { return !m_filter.isEmpty() && !m_scanDone; }
    // Reads up to `records` more records for the filter; false once the scan is complete.
    bool scanFilter(int records);

    // Row r, 0 <= r < rows(); an empty row out of range.
    const Row &row(qint64 r);
    // Windows held right now (never more than maxWindows).
    int cachedWindows() const { return int(m_cache.size()); }
    const QString &filter() const { return m_filter; }
    KeyRange keys() const { return m_keys; }
    // The keys of rows first..last, in the order shown: runs of ascending
    // adjacent keys as one range (the whole block without a sort or filter).
    std::vector<KeyRange> keysOfRows(qint64 first, qint64 last);
    // The row of each key among the sorted keys read so far (or a filter's
    // matches); -1 for a key not among them. Without a sort or filter, none.
    std::vector<qint64> rowsOfKeys(const std::vector<qint64> &keys) const;

private:
    struct Window {
        qint64 index;
        std::vector<Row> rows;
    };
    Window &window(qint64 index);
    std::vector<Row> fetch(qint64 index);
    std::vector<Row> fetchKeys(const std::vector<qint64> &keys);
    bool scanSorted();
    bool sorted() const { return m_order.field >= 0; }
    void arrange(); // forgets what was read and reads the first keys in order again
    void readSorted(qint64 rows); // the sorted keys of the first `rows` rows at least
    void readTail(qint64 rows);   // the sorted keys of the last `rows` rows at least
    void readListed(qint64 first, qint64 last); // the sorted keys of rows first..last, from the nearer end
    std::optional<qint64> listedKey(qint64 r) const; // row r's key when sorted or filtered, if read
    std::optional<qint64> keyOfRow(qint64 r);
    Row rowOf(const Record &r) const;

    Database &m_db;
    KeyRange m_keys{0, 0};
    QString m_filter;
    qint64 m_total = 0;
    std::list<Window> m_cache;        // most recently used first
    std::map<qint64, qint64> m_known; // row -> key, the ends of windows read so far
    std::vector<qint64> m_matches;    // keys of the records matching the filter, ascending
    qint64 m_scannedTo = 0;           // the filter scan has read every key up to this one
    bool m_scanDone = true;
    Order m_order;
    std::vector<qint64> m_sorted; // the first keys in range, in the order asked for (when sorted)
    bool m_sortedAll = true;      // m_sorted holds every key in range
    std::vector<qint64> m_tail;   // the last keys in that order, the last row's first (until all are read)
};

} // namespace zefto::records
