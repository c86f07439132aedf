#include "spool.h"

#include "chosen.h"
#include "refusal.h"
#include "schema.h"
#include "textcopy.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zefto::records {
namespace {

constexpr qsizetype chunk = 1 << 18;
constexpr qsizetype inMemory = 8 << 20; // most exports never touch the disk
constexpr char latin1Text = 0x10;       // a text of characters below U+0100, one byte each

template <class T> char *putRaw(char *to, T v)
{
    std::memcpy(to, &v, sizeof v);
    return to + sizeof v;
}

} // namespace

ChosenSpool::ChosenSpool(Database &db, KeyRange keys, const std::optional<QString> &filter)
{
    db.readSnapshot([&] { forEachChosen(db, keys, filter, [&](Fields r) { put(r); }); });
}

ChosenSpool::ChosenSpool(Database &db, const std::vector<KeyRange> &ranges, const std::optional<QString> &filter)
{
    db.readSnapshot([&] { forEachInRanges(db, ranges, filter, [&](Fields r) { put(r); }); });
}

void ChosenSpool::fail(int error)
{
    throw Refusal{QStringLiteral("Cannot keep the records read in the temporary file '%1': %2.")
                      .arg(m_file ? m_file->fileName() : QString(), QString::fromLocal8Bit(std::strerror(error)))};
}

// Each field: its kind, then a double's 8 bytes or a text's length and UTF-16 units.
void ChosenSpool::put(Fields fields)
{
    Q_ASSERT(fields.size() == size_t(schema::FieldCount));
    // Room for the whole record at once, written through a pointer: appending
    // field by field cost more than the reading.
    qsizetype most = 0;
    for (const Value &v : fields)
        most += 1 + std::max<qsizetype>(sizeof(qint32) + v.asText().size() * 2, sizeof(double));
    const qsizetype start = m_buffer.size();
    m_buffer.resize(start + most);
    char *to = m_buffer.data() + start;
    for (const Value &v : fields) {
        if (v.isText()) {
            const QString &t = v.asText();
            const bool latin1 = std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() < 0x100; });
            *to++ = latin1 ? latin1Text : char(v.kind());
            to = putRaw(to, qint32(t.size()));
            if (latin1) {
                // Most fields are digits and blanks: one byte a character halves what is kept.
                to = std::transform(t.begin(), t.end(), to, [](QChar c) { return char(c.unicode()); });
            } else {
                // UTF-16 as it is: a lone surrogate survives to be counted where it cannot be written.
                copyBytes(to, reinterpret_cast<const char *>(t.constData()), t.size() * 2);
                to += t.size() * 2;
            }
            continue;
        }
        *to++ = char(v.kind());
        if (v.isDouble())
            to = putRaw(to, v.asDouble());
    }
    Q_ASSERT(to - (m_buffer.constData() + start) <= most);
    m_buffer.resize(to - m_buffer.constData());
    ++m_count;
    if (m_buffer.size() >= (m_file ? chunk : inMemory))
        spill();
}

void ChosenSpool::spill()
{
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/zefto-records-XXXXXX"));
        if (!m_file->open())
            fail(errno);
    }
    errno = 0;
    if (m_file->write(m_buffer) != m_buffer.size() || !m_file->flush())
        fail(errno != 0 ? errno : EIO);
    m_buffer.clear();
}

void ChosenSpool::forEach(const std::function<void(const std::vector<Value> &)> &each)
{
    if (m_file && !m_buffer.isEmpty())
        spill();
    if (m_file && !m_file->seek(0))
        fail(errno);
    std::vector<Value> fields(size_t(schema::FieldCount));
    QByteArray data = m_file ? QByteArray() : m_buffer;
    qsizetype at = 0;
    // Makes `n` bytes available at `at`, reading on as needed.
    const auto need = [&](qsizetype n) {
        if (data.size() - at >= n)
            return;
        data.remove(0, at);
        at = 0;
        while (data.size() < n) {
            const QByteArray more = m_file ? m_file->read(std::max<qsizetype>(chunk, n - data.size())) : QByteArray();
            if (more.isEmpty())
                fail(m_file ? errno : EIO);
            data += more;
        }
    };
    for (qint64 r = 0; r < m_count; ++r) {
        for (Value &v : fields) {
            need(1);
            const char marker = data[at++];
            if (marker == latin1Text) {
                qint32 n;
                need(sizeof n);
                std::memcpy(&n, data.constData() + at, sizeof n);
                at += sizeof n;
                need(n);
                // Into the text this field held the record before: no allocation per field.
                std::transform(data.constData() + at, data.constData() + at + n, v.textToWrite(n),
                               [](char c) { return char16_t(uchar(c)); });
                at += n;
                continue;
            }
            const auto kind = Value::Kind(marker);
            if (kind == Value::Kind::Double) {
                double d;
                need(sizeof d);
                std::memcpy(&d, data.constData() + at, sizeof d);
                at += sizeof d;
                v = Value::number(d);
            } else if (kind == Value::Kind::Text) {
                qint32 n;
                need(sizeof n);
                std::memcpy(&n, data.constData() + at, sizeof n);
                at += sizeof n;
                need(qsizetype(n) * 2);
                if (char16_t *to = v.textToWrite(n))
                    copyBytes(reinterpret_cast<char *>(to), data.constData() + at, qsizetype(n) * 2);
                at += qsizetype(n) * 2;
            } else {
                v = kind == Value::Kind::Null ? Value::null() : Value();
            }
        }
        each(fields);
    }
}

} // namespace zefto::records
