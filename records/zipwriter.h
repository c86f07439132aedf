#pragma once

#include <QByteArray>
#include <QIODevice>
#include <vector>
#include <zlib.h>

namespace zefto::records {

// Writes a ZIP archive front to back onto `out` (no seeking): each member
// deflated as it comes, its sizes in a data descriptor after it, the
// central directory at finish(). Members are limited to 4 GiB (no ZIP64).
// Failures of the device or the limit throw a Refusal.
class ZipWriter {
public:
    explicit ZipWriter(QIODevice &out);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    // Ends the member being written, if any, and starts the member `name`.
    void begin(const char *name);
    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    void write(const char *data, qsizetype size);
    // Ends the last member and writes the central directory.
    void finish();

private:
    struct Member {
        QByteArray name;
        quint32 crc = 0;
        quint64 packed = 0;
        quint64 size = 0;
        quint64 offset = 0; // of its local header
    };

    void end();
    void deflateInto(int flush);
    void put(const QByteArray &bytes);

    QIODevice &m_out;
    z_stream m_z{};
    bool m_open = false; // a member is being written
    std::vector<Member> m_members;
    quint64 m_written = 0; // bytes emitted so far: the next local header's offset
    QByteArray m_chunk;    // deflate's output buffer
};

} // namespace zefto::records
