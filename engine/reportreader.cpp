#include "reportreader.h"

#include "codepage.h"
#include "error.h"
#include "filename.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zefto {
namespace {

constexpr qsizetype bufferSize = 64 * 1024;

Error outOfMemory()
{
    return {err::OutOfMemory, QStringLiteral("Out of memory")};
}

Error cannotRead(const QString &fullPath, int errorCode)
{
    return {err::PathAccess, QStringLiteral("Cannot read '%1': %2.").arg(fullPath, qt_error_string(errorCode))};
}

// Anything but a regular file (FIFO, device, socket) could block or never end.
Error notRegular(const QString &fullPath)
{
    return {err::PathAccess, QStringLiteral("'%1' is not a regular file.").arg(fullPath)};
}

// The first CR or LF in [s, end), or null. Windows grow so that a short line
// costs a short search and a huge one runs at memchr's speed.
const char *findTerminator(const char *s, const char *end)
{
    qsizetype window = 256;
    while (s < end) {
        const qsizetype n = std::min<qsizetype>(window, end - s);
        const char *cr = static_cast<const char *>(std::memchr(s, '\r', size_t(n)));
        const char *lf = static_cast<const char *>(std::memchr(s, '\n', size_t(cr ? cr - s : n)));
        if (lf)
            return lf;
        if (cr)
            return cr;
        s += n;
        window = std::min<qsizetype>(window * 2, bufferSize);
    }
    return nullptr;
}

} // namespace

ReportReader::~ReportReader()
{
    close();
}

void ReportReader::open(const QString &path)
{
    close();
    try {
        openFile(path);
    } catch (const std::bad_alloc &) {
        close();
        throw outOfMemory();
    } catch (...) {
        close();
        throw;
    }
}

void ReportReader::openFile(const QString &path)
{
    if (path.isEmpty())
        throw Error(err::PathAccess, QStringLiteral("No report file was named."));
    m_path = QFileInfo(path).absoluteFilePath();
    const QByteArray name = QFile::encodeName(path);

    // Look before opening, so a FIFO or socket is refused without touching it.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT && e != ENOTDIR)
            throw cannotRead(m_path, e);
        if (looksUndecodable(path))
            throw Error(err::BadFileName, undecodableNameMessage(m_path));
        throw Error(err::FileNotFound, QStringLiteral("File not found: '%1'.").arg(m_path));
    }
    if (S_ISDIR(st.st_mode))
        throw Error(err::PathAccess, QStringLiteral("'%1' is a directory, not a report file.").arg(m_path));
    if (!S_ISREG(st.st_mode))
        throw notRegular(m_path);

    // O_NONBLOCK: the name may have been replaced by a FIFO since we looked.
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw cannotRead(m_path, errno);
    m_fd = fd;
    if (::fstat(fd, &st) != 0)
        throw cannotRead(m_path, errno);
    if (!S_ISREG(st.st_mode))
        throw notRegular(m_path);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw cannotRead(m_path, errno);

    m_buffer.resize(bufferSize);
    m_kept.reserve(keptLineBytes);
}

void ReportReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pos = m_len = 0;
    m_bytesRead = 0;
    m_kept.clear();
}

bool ReportReader::fill()
{
    if (m_pos < m_len)
        return true;
    if (m_fd < 0)
        return false;
    ssize_t n;
    do
        n = ::read(m_fd, m_buffer.data(), m_buffer.size());
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int e = errno;
        throw Error(err::DeviceIo, QStringLiteral("Cannot read '%1': %2.").arg(m_path, qt_error_string(e)));
    }
    m_pos = 0;
    m_len = n;
    if (m_digest)
        m_digest->add(m_buffer.data(), n);
    m_bytesRead += n;
    return n > 0;
}

bool ReportReader::atEnd()
{
    return !fill();
}

// Hands the bytes of the next line to sink(bytes, size, terminated) piece by
// piece, a piece valid only during the call, and records the line's length.
template <typename Sink> void ReportReader::takeLine(Sink &&sink)
{
    if (!fill())
        throw Error::of(err::InputPastEnd);
    qsizetype length = 0;
    for (;;) {
        const char *start = m_buffer.data() + m_pos;
        const char *end = m_buffer.data() + m_len;
        const char *p = findTerminator(start, end);
        const qsizetype n = (p ? p : end) - start;
        sink(start, n, p != nullptr);
        length += n;
        m_pos += n;
        if (p) {
            ++m_pos;
            if (*p == '\r' && fill() && m_buffer[size_t(m_pos)] == '\n')
                ++m_pos;
            break;
        }
        if (!fill())
            break; // the last line has no terminator
    }
    m_lastLength = length;
}

QString ReportReader::readLine()
{
    QString line;
    readLine(line);
    return line;
}

void ReportReader::readLine(QString &line)
{
    try {
        bool decoded = false;
        bool first = true;
        m_kept.clear();
        takeLine([&](const char *s, qsizetype n, bool terminated) {
            // Usually the whole line lies in the buffer: decode it in place.
            if (first && terminated) {
                decodeWindows1254(s, std::min(n, keptLineBytes), line);
                decoded = true;
            } else {
                const qsizetype room = keptLineBytes - qsizetype(m_kept.size());
                if (room > 0)
                    m_kept.append(s, size_t(std::min(n, room)));
            }
            first = false;
        });
        if (!decoded)
            decodeWindows1254(m_kept.data(), qsizetype(m_kept.size()), line);
    } catch (const std::bad_alloc &) {
        throw outOfMemory();
    }
}

void ReportReader::readToEnd()
{
    while (fill())
        m_pos = m_len;
}

qsizetype ReportReader::skipLine()
{
    takeLine([](const char *, qsizetype, bool) {});
    return m_lastLength;
}

int ReportReader::countLines(const QString &path)
{
    return count(path, nullptr, nullptr);
}

ReportReader::Survey ReportReader::survey(const QString &path)
{
    Survey s;
    Sha256 digest;
    s.lines = count(path, &digest, &s.size);
    s.sha256 = digest.hex();
    return s;
}

int ReportReader::count(const QString &path, Sha256 *digest, qint64 *size)
{
    try {
        ReportReader r;
        r.open(path);
        r.m_digest = digest;
        int lines = 0;
        while (!r.atEnd()) {
            r.skipLine();
            if (lines == std::numeric_limits<qint16>::max())
                throw Error(err::Overflow, QStringLiteral("The report '%1' has more than 32,767 lines.").arg(r.m_path));
            ++lines;
        }
        if (size)
            *size = r.m_bytesRead;
        return lines;
    } catch (const std::bad_alloc &) {
        throw outOfMemory();
    }
}

} // namespace zefto
