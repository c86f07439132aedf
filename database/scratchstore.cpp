#include "scratchstore.h"

#include "error.h"
#include "schema.h"
#include "turkishorder.h"

#include <algorithm>
#include <tuple>

namespace zefto {

ScratchStore::ScratchStore(QString name, QStringList columns, std::optional<Record> lastRecordBefore)
    : m_name(std::move(name)), m_columns(std::move(columns)), m_before(std::move(lastRecordBefore))
{
    const QStringList required = schema::fieldNames().mid(0, schema::requiredTextFields);
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        if (required.contains(m_columns[i]))
            m_required.push_back(int(i));
    if (!m_columns.isEmpty() && m_columns.front().compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
        m_idColumn = 0;
}

void ScratchStore::checkOpen() const
{
    if (!m_open)
        throw Error::of(err::ObjectInvalid);
}

void ScratchStore::close()
{
    rollbackRun();
    m_open = false;
}

std::optional<Record> ScratchStore::lastRecord()
{
    checkOpen();
    if (!m_records.empty())
        return m_records.back();
    return m_before;
}

void ScratchStore::append(const Record &values, const std::vector<bool> &given)
{
    checkOpen();
    // The same refusal, word for word, as the tables' CHECK constraints give.
    for (int i : m_required)
        if (size_t(i) < given.size() && given[i] && values[i].isText() && values[i].asText().isEmpty())
            throw Error(err::ZeroLengthString,
                        QStringLiteral("Field '%1' cannot be a zero-length string.").arg(m_columns[i]));
    // What a database hands back: fields not given, or given no value, read back as NULL.
    Record r(m_columns.size(), Value::null());
    for (size_t i = 0; i < r.size() && i < given.size(); ++i)
        if (given[i] && !values[i].isUnset())
            r[i] = values[i];
    const qint64 key = qint64(m_records.size()) + 1;
    if (m_idColumn >= 0)
        r[m_idColumn] = Value::number(double(key));
    m_records.push_back(std::move(r));
    m_runKeys.second = key;
    if (m_runKeys.first == 0)
        m_runKeys.first = key;
}

void ScratchStore::beginRun(const WaitCallback &)
{
    checkOpen();
    if (m_inRun)
        throw Error(err::Reserved, QStringLiteral("A conversion into '%1' is already in progress.").arg(m_name));
    m_inRun = true;
    m_runStart = m_records.size();
    m_runKeys = {0, 0};
}

void ScratchStore::commitRun()
{
    m_inRun = false;
}

void ScratchStore::rollbackRun() noexcept
{
    if (!m_inRun)
        return;
    m_records.resize(m_runStart);
    m_inRun = false;
    m_runKeys = {0, 0};
}

void ScratchStore::readRecords(const QList<KeyRange> &ranges, const std::function<void(const Record &)> &each)
{
    checkOpen();
    const qint64 count = qint64(m_records.size());
    for (const auto &[first, last] : ranges) {
        if (first <= 0)
            continue;
        for (qint64 k = first; k <= std::min(last, count); ++k)
            each(m_records[size_t(k - 1)]);
    }
}

KeyRange ScratchStore::clamped(KeyRange within) const
{
    return {std::max<qint64>(within.first, 1), std::min(within.second, qint64(m_records.size()))};
}

// The keys are 1..n without gaps, so every answer is arithmetic.
qint64 ScratchStore::countRecords(KeyRange within)
{
    checkOpen();
    const auto [first, last] = clamped(within);
    return std::max<qint64>(0, last - first + 1);
}

std::optional<qint64> ScratchStore::keyAt(KeyRange within, qint64 from, qint64 offset, bool down)
{
    checkOpen();
    const auto [first, last] = clamped(within);
    const qint64 key = down ? std::min(from, last) - offset : std::max(from, first) + offset;
    if (key < first || key > last)
        return std::nullopt;
    return key;
}

void ScratchStore::readAfter(KeyRange within, qint64 after, int limit, const std::function<void(const Record &)> &each)
{
    checkOpen();
    const auto [first, last] = clamped(within);
    for (qint64 k = std::max(after + 1, first); k <= last && k - std::max(after + 1, first) < limit; ++k)
        each(m_records[size_t(k - 1)]);
}

std::vector<qint64> ScratchStore::sortedKeys(KeyRange within, int field, bool descending, qint64 limit)
{
    checkOpen();
    const auto [first, last] = clamped(within);
    std::vector<qint64> keys;
    for (qint64 k = first; k <= last; ++k)
        keys.push_back(k);
    const int column = int(m_columns.indexOf(schema::fieldName(schema::Field(field))));
    if (column >= 0) {
        const bool number = schema::readsAsNumber(schema::Field(field));
        // The same order the database gives: no value first, numbers as numbers, text in Turkish order, then by key.
        const auto compare = [&](qint64 a, qint64 b) {
            const Value &va = m_records[size_t(a - 1)][size_t(column)], &vb = m_records[size_t(b - 1)][size_t(column)];
            const auto rank = [&](const Value &v) {
                bool ok = v.isDouble();
                const double d = ok ? v.asDouble() : number && v.isText() ? v.asText().trimmed().toDouble(&ok) : 0;
                return std::pair(v.isText() || v.isDouble(), ok ? d : 0.0);
            };
            if (const auto ra = rank(va), rb = rank(vb); ra != rb)
                return ra < rb ? -1 : 1;
            const int text = !number && va.isText() && vb.isText() ? TurkishOrder::get().compare(va.asText(), vb.asText()) : 0;
            return text != 0 ? text : a < b ? -1 : a > b ? 1 : 0;
        };
        std::sort(keys.begin(), keys.end(), [&](qint64 a, qint64 b) { return descending ? compare(b, a) < 0 : compare(a, b) < 0; });
    }
    if (limit >= 0 && qint64(keys.size()) > limit)
        keys.resize(size_t(limit));
    return keys;
}

void ScratchStore::readKeys(const std::vector<qint64> &keys, const std::function<void(const Record &)> &each)
{
    checkOpen();
    for (qint64 k : keys)
        if (k >= 1 && k <= qint64(m_records.size()))
            each(m_records[size_t(k - 1)]);
}

qint64 ScratchStore::logRun(const Conversion &)
{
    checkOpen();
    return 0;
}

std::optional<Conversion> ScratchStore::findConversion(const QString &)
{
    return std::nullopt;
}

std::vector<Conversion> ScratchStore::conversions()
{
    return {};
}

qint64 ScratchStore::undoConversion(qint64 id, const QString &)
{
    throw Error(err::ReadOnly,
                QStringLiteral("A dry run changes nothing: conversion %1 cannot be undone in it.").arg(id));
}

} // namespace zefto
