#pragma once

#include "recordpager.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <functional>
#include <memory>

namespace zefto::ui {

// The records of ovrekson for a QTableView: rows come from the database a
// window at a time (see RecordPager), so a million records cost what a few
// hundred do. A filter is searched a slice at a time between events, its
// matches appearing as they are found.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // How many records the first step of a filter search reads; each further
    // step reads twice as many as the one before, up to maxScanSlice.
    static constexpr int scanSlice = 20000;
    static constexpr int maxScanSlice = 320000;

    explicit RecordTableModel(QObject *parent = nullptr);
    ~RecordTableModel() override;

    // Reads from `db` (nothing shown without one), every record at first.
    void setDatabase(std::shared_ptr<Database> db);
    // The records with keys in `keys` that match `filter` (all when it is empty).
    void show(KeyRange keys, const QString &filter);
    // Counts and reads again after the table changed.
    void reload();
    // Searches for the filter's matches to the end now, not between events.
    void finishFiltering();

    bool filtering() const { return m_pager && m_pager->filtering(); }
    qint64 total() const { return m_pager ? m_pager->total() : 0; }
    qint64 shown() const { return m_rows; }
    // "N records", or "M of N shown" under a filter.
    QString countText() const;
    // The key of the record in row r (0 when unknown).
    qint64 keyAt(int r) const;
    const records::RecordPager *pager() const { return m_pager.get(); }
    // The keys of rows first..last in the order shown (see RecordPager::keysOfRows); none without a database.
    std::vector<KeyRange> keysOfRows(int first, int last)
    {
        return m_pager ? m_pager->keysOfRows(first, last) : std::vector<KeyRange>{};
    }
    // Sorted by a column: new records land among the rows, not after them.
    bool sorted() const { return m_order.field >= 0; }
    // The row of each key (see RecordPager::rowsOfKeys); -1 where it is not known.
    std::vector<qint64> rowsOfKeys(const std::vector<qint64> &keys) const
    {
        return m_pager ? m_pager->rowsOfKeys(keys) : std::vector<qint64>(keys.size(), -1);
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Orders the rows by a column, as the store sorts it; a column below 0 orders them by key.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The heading of field `f` (schema order) as the window shows it.
    static QString heading(int f);

signals:
    // The counts or the search state changed.
    void countsChanged();
    // Reading failed; the text says why.
    void failed(const QString &why);

private:
    void scanMore();
    // Resets the view around `read`, which shows the pager's rows anew.
    void readAgain(const std::function<void()> &read);
    void settle(); // rows shown catch up with the pager, inside insert notices
    const records::Row *rowAt(int r) const;

    std::shared_ptr<Database> m_db;
    std::unique_ptr<records::RecordPager> m_pager;
    qint64 m_rows = 0;                   // what the view has been told
    records::RecordPager::Order m_order; // kept across stores and shows
    QTimer m_scan;
    int m_slice = scanSlice; // records the next step of the filter search reads
};

} // namespace zefto::ui
