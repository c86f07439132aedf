#include "recordtablemodel.h"

#include "chosen.h"
#include "csvwriter.h"
#include "error.h"
#include "schema.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace zefto::ui {
namespace {

// In schema order; the field's own name is its tooltip, as exports use it.
const char *const headings[schema::FieldCount] = {
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "New block"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "New parcel"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "New share"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "New share of"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Share area"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "New area"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Owner"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Surname"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Father's name"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old sheet"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old block"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old parcel"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old share"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old share of"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Old area"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Title deed"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Deduction"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Allocation"),
    QT_TRANSLATE_NOOP("zefto::ui::RecordTableModel", "Neighbourhood"),
};

bool readsAsNumber(int f)
{
    return f >= 0 && f < schema::FieldCount && schema::readsAsNumber(schema::Field(f));
}

// One rule for every number, stored as a number or as text: its shortest
// form, with the session's decimal separator. Only the grid shows it so.
QString shownNumber(double d)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(d, 'g', QLocale::FloatingPointShortest);
}

QString shownValue(const Value &v, int field)
{
    if (v.isDouble())
        return shownNumber(v.asDouble());
    bool number = false;
    const double d = readsAsNumber(field) ? QLocale::c().toDouble(v.asText().trimmed(), &number) : 0;
    return number && std::isfinite(d) ? shownNumber(d) : v.asText();
}

bool blank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

RecordTableModel::RecordTableModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_scan.setInterval(0);
    connect(&m_scan, &QTimer::timeout, this, &RecordTableModel::scanMore);
}

RecordTableModel::~RecordTableModel() = default;

QString RecordTableModel::heading(int f)
{
    return f >= 0 && f < schema::FieldCount ? tr(headings[f]) : QString();
}

void RecordTableModel::setDatabase(std::shared_ptr<Database> db)
{
    beginResetModel();
    m_scan.stop();
    m_pager.reset();
    m_db = std::move(db);
    if (m_db) {
        m_pager = std::make_unique<records::RecordPager>(*m_db);
        m_pager->sortBy(m_order); // nothing read yet: show() below reads
    }
    m_rows = 0;
    endResetModel();
    show(records::allKeys, QString());
}

void RecordTableModel::show(KeyRange keys, const QString &filter)
{
    readAgain([&] { m_pager->show(keys, filter.trimmed()); });
}

void RecordTableModel::sort(int column, Qt::SortOrder order)
{
    const records::RecordPager::Order wanted{column >= 0 && column < schema::FieldCount ? column : -1,
                                             order == Qt::DescendingOrder};
    // A view asks twice for one heading click at times; a million keys are sorted once.
    if (wanted == m_order)
        return;
    m_order = wanted;
    readAgain([&] { m_pager->sortBy(m_order); });
}

void RecordTableModel::readAgain(const std::function<void()> &read)
{
    beginResetModel();
    m_scan.stop();
    m_rows = 0;
    m_slice = scanSlice;
    try {
        if (m_pager) {
            read();
            m_rows = m_pager->rows();
        }
    } catch (const Error &e) {
        emit failed(e.description());
    }
    endResetModel();
    if (filtering())
        m_scan.start();
    emit countsChanged();
}

void RecordTableModel::reload()
{
    if (m_pager)
        show(m_pager->keys(), m_pager->filter());
}

void RecordTableModel::scanMore()
{
    try {
        // The first matches come quickly; later steps grow, so a million records take a few
        // steps, each large enough for a server to share among its processors.
        if (!m_pager || !m_pager->scanFilter(m_slice))
            m_scan.stop();
        m_slice = std::min(2 * m_slice, maxScanSlice);
    } catch (const Error &e) {
        m_scan.stop();
        emit failed(e.description());
    }
    settle();
    emit countsChanged();
}

void RecordTableModel::settle()
{
    const qint64 now = m_pager ? m_pager->rows() : 0;
    if (now <= m_rows)
        return;
    beginInsertRows(QModelIndex(), int(m_rows), int(now - 1));
    m_rows = now;
    endInsertRows();
}

void RecordTableModel::finishFiltering()
{
    while (filtering())
        scanMore();
}

QString RecordTableModel::countText() const
{
    const QLocale locale;
    if (m_pager && !m_pager->filter().isEmpty())
        return tr("%1 of %2 shown").arg(locale.toString(m_rows), locale.toString(total()));
    return total() == 1 ? tr("1 record") : tr("%1 records").arg(locale.toString(total()));
}

const records::Row *RecordTableModel::rowAt(int r) const
{
    if (!m_pager || r < 0 || r >= m_rows)
        return nullptr;
    try {
        return &m_pager->row(r);
    } catch (const Error &e) {
        emit const_cast<RecordTableModel *>(this)->failed(e.description());
        return nullptr;
    }
}

qint64 RecordTableModel::keyAt(int r) const
{
    const records::Row *row = rowAt(r);
    return row ? row->key : 0;
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows);
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : schema::FieldCount;
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter | (readsAsNumber(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::FontRole && role != Qt::ToolTipRole)
        return QVariant();
    const records::Row *row = rowAt(index.row());
    if (!row)
        return QVariant();
    if (row->fields.empty())
        return role == Qt::ToolTipRole ? tr("This record was removed after the list was read.") : QVariant();
    const Value &v = row->fields[size_t(index.column())];
    // No value is never shown as blank text would be: a grey "(none)" in italics.
    const bool none = !v.isText() && !v.isDouble();
    switch (role) {
    case Qt::DisplayRole: return none ? tr("(none)") : shownValue(v, index.column());
    case Qt::ForegroundRole: return none ? QVariant(QColor(Qt::gray)) : QVariant();
    case Qt::FontRole: {
        if (!none)
            return QVariant();
        QFont italic;
        italic.setItalic(true);
        return italic;
    }
    default:
        if (none)
            return tr("No value (NULL)");
        if (v.isText() && blank(v.asText()))
            return v.asText().isEmpty() ? tr("Empty text") : tr("Blank text of %1 spaces").arg(v.asText().size());
        return QVariant();
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole)
            return keyAt(section);
        if (role == Qt::ToolTipRole)
            return tr("The record's key in ovrekson");
        return QVariant();
    }
    if (role == Qt::DisplayRole)
        return heading(section);
    if (role == Qt::ToolTipRole && section >= 0 && section < schema::FieldCount)
        return schema::fieldName(schema::Field(section));
    return QVariant();
}

} // namespace zefto::ui
