#include "zipwriter.h"

#include "refusal.h"

#include <QtEndian>
#include <limits>

namespace zefto::records {
namespace {

constexpr int chunkSize = 1 << 17;
// The fastest level: a sheet of a million records is mostly markup that packs well at any level.
constexpr int level = 1;
// 1980-01-01 00:00: the archive's times say nothing about the records.
constexpr quint16 dosTime = 0;
constexpr quint16 dosDate = (0 << 9) | (1 << 5) | 1;

void put16(QByteArray &b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}

void put32(QByteArray &b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

quint32 checked32(quint64 v)
{
    if (v > std::numeric_limits<quint32>::max())
        throw Refusal{QStringLiteral("the workbook would pass 4 GiB, more than it can hold; export fewer records")};
    return quint32(v);
}

} // namespace

ZipWriter::ZipWriter(QIODevice &out) : m_out(out)
{
    if (deflateInit2(&m_z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw Refusal{QStringLiteral("there is not enough memory to compress the workbook")};
    m_chunk.resize(chunkSize);
}

ZipWriter::~ZipWriter()
{
    deflateEnd(&m_z);
}

void ZipWriter::put(const QByteArray &bytes)
{
    if (m_out.write(bytes) != bytes.size())
        throw Refusal{m_out.errorString()};
    m_written += quint64(bytes.size());
}

void ZipWriter::begin(const char *name)
{
    end();
    Member m;
    m.name = name;
    m.offset = m_written;
    m.crc = quint32(crc32(0, nullptr, 0));
    QByteArray h;
    put32(h, 0x04034b50);
    put16(h, 20);     // version needed: deflate
    put16(h, 0x0008); // sizes and CRC follow the data
    put16(h, 8);      // deflated
    put16(h, dosTime);
    put16(h, dosDate);
    put32(h, 0);
    put32(h, 0);
    put32(h, 0);
    put16(h, quint16(m.name.size()));
    put16(h, 0);
    h += m.name;
    put(h);
    m_members.push_back(m);
    deflateReset(&m_z);
    m_open = true;
}

void ZipWriter::write(const char *data, qsizetype size)
{
    Q_ASSERT(m_open);
    Member &m = m_members.back();
    m.crc = quint32(crc32(m.crc, reinterpret_cast<const Bytef *>(data), uInt(size)));
    m.size += quint64(size);
    m_z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    m_z.avail_in = uInt(size);
    deflateInto(Z_NO_FLUSH);
}

void ZipWriter::deflateInto(int flush)
{
    Member &m = m_members.back();
    do {
        m_z.next_out = reinterpret_cast<Bytef *>(m_chunk.data());
        m_z.avail_out = uInt(chunkSize);
        const int rc = deflate(&m_z, flush);
        Q_ASSERT(rc != Z_STREAM_ERROR);
        const qsizetype produced = chunkSize - qsizetype(m_z.avail_out);
        if (produced > 0) {
            put(QByteArray::fromRawData(m_chunk.constData(), produced));
            m.packed += quint64(produced);
        }
        if (flush == Z_FINISH && rc == Z_STREAM_END)
            break;
    } while (m_z.avail_out == 0 || (flush == Z_FINISH));
}

void ZipWriter::end()
{
    if (!m_open)
        return;
    deflateInto(Z_FINISH);
    m_open = false;
    const Member &m = m_members.back();
    QByteArray d;
    put32(d, 0x08074b50);
    put32(d, m.crc);
    put32(d, checked32(m.packed));
    put32(d, checked32(m.size));
    put(d);
}

void ZipWriter::finish()
{
    end();
    const quint64 start = m_written;
    QByteArray dir;
    for (const Member &m : m_members) {
        put32(dir, 0x02014b50);
        put16(dir, 20);
        put16(dir, 20);
        put16(dir, 0x0008);
        put16(dir, 8);
        put16(dir, dosTime);
        put16(dir, dosDate);
        put32(dir, m.crc);
        put32(dir, checked32(m.packed));
        put32(dir, checked32(m.size));
        put16(dir, quint16(m.name.size()));
        put16(dir, 0); // extra
        put16(dir, 0); // comment
        put16(dir, 0); // disk
        put16(dir, 0); // internal attributes
        put32(dir, 0); // external attributes
        put32(dir, checked32(m.offset));
        dir += m.name;
    }
    const quint64 dirSize = quint64(dir.size());
    put32(dir, 0x06054b50);
    put16(dir, 0);
    put16(dir, 0);
    put16(dir, quint16(m_members.size()));
    put16(dir, quint16(m_members.size()));
    put32(dir, checked32(dirSize));
    put32(dir, checked32(start));
    put16(dir, 0);
    put(dir);
}

} // namespace zefto::records
