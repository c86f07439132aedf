#pragma once

#include "store.h"

namespace zefto {

// A store in memory for a dry run: the run goes through every rule of a real
// one, and the records it would store stay here, in order, for printing.
// It starts from the target's last record, so a continuation row at the top
// of the report reads back what the real run would read, and it refuses
// zero-length text in the required fields as the real tables do. Its own
// records have the keys 1..n (held in an "id" column when the columns start
// with one). Nothing is written anywhere, and it keeps no conversion log.
class ScratchStore final : public Store {
public:
    // `columns` in the target's table order; `lastRecordBefore` its last record, in that order.
    ScratchStore(QString name, QStringList columns, std::optional<Record> lastRecordBefore);

    // What the run would store, in order (those of a rolled-back run are gone).
    const std::vector<Record> &records() const { return m_records; }

    QString name() const override { return m_name; }
    bool isOpen() const override { return m_open; }
    void close() override;
    const QStringList &columns() const override { return m_columns; }
    std::optional<Record> lastRecord() override;
    void append(const Record &values, const std::vector<bool> &given) override;
    void commitPending() override {}
    void beginRun(const WaitCallback &whileWaiting) override;
    void commitRun() override;
    void rollbackRun() noexcept override;
    bool inRun() const override { return m_inRun; }
    KeyRange runKeys() const override { return m_runKeys; }
    qint64 recordsStored() const override { return qint64(m_records.size()); }
    bool stillThere() const override { return m_open; }
    void readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each) override;
    qint64 countRecords(KeyRange within) override;
    std::optional<qint64> keyAt(KeyRange within, qint64 from, qint64 offset, bool down) override;
    void readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each) override;
    std::vector<qint64> sortedKeys(KeyRange within, int field, bool descending, qint64 limit) override;
    void readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each) override;

    // A dry run leaves no entry: nothing is logged and 0 comes back.
    qint64 logRun(const Conversion &entry) override;
    // The scratch store has no log of its own: the guard asks the target's.
    std::optional<Conversion> findConversion(const QString &sha256) override;
    std::vector<Conversion> conversions() override;
    // Refused (3027): a dry run changes nothing.
    qint64 undoConversion(qint64 id, const QString &by) override;

private:
    void checkOpen() const;                  // throws 3420 when closed
    KeyRange clamped(KeyRange within) const; // the part of `within` that holds keys (first > last when none)

    QString m_name;
    QStringList m_columns;
    std::optional<Record> m_before; // the target's last record
    std::vector<Record> m_records;  // key k is m_records[k - 1]
    std::vector<int> m_required;    // columns that refuse zero-length text
    int m_idColumn = -1;            // the key's column, when there is one
    bool m_open = true;
    bool m_inRun = false;
    size_t m_runStart = 0; // how many records there were when the run began
    KeyRange m_runKeys{0, 0};
};

} // namespace zefto
