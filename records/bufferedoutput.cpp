#include "bufferedoutput.h"

#include "textcopy.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zefto::records {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

BufferedOutput::BufferedOutput(qsizetype bufferSize) : m_bufferSize(bufferSize)
{
    m_buffer.reserve(bufferSize);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 BufferedOutput::writeData(const char *data, qint64 size)
{
    if (!m_failure.isEmpty() || m_fd < 0)
        return -1;
    // A line at a time mostly: a call to memcpy for each costs more than the copy (textcopy.h).
    const qsizetype at = m_buffer.size();
    m_buffer.resize(at + qsizetype(size));
    if (size <= 4096)
        copyBytes(m_buffer.data() + at, data, qsizetype(size));
    else
        std::memcpy(m_buffer.data() + at, data, size_t(size));
    if (m_buffer.size() >= m_bufferSize && !drain())
        return -1;
    return size;
}

bool BufferedOutput::drain()
{
    if (!m_failure.isEmpty())
        return false;
    const char *at = m_buffer.constData();
    qsizetype left = m_dropping ? 0 : m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && readerGone(errno)) {
            m_dropping = true;
            break;
        }
        if (n <= 0) {
            m_failure = systemError(n == 0 ? EIO : errno);
            setErrorString(m_failure);
            return false;
        }
        at += n;
        left -= n;
    }
    m_buffer.resize(0); // clear() would give the memory back, and every later write would grow it again
    return true;
}

} // namespace zefto::records
