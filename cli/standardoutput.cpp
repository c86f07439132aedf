#include "standardoutput.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace zefto::cli {
namespace {

constexpr qsizetype bufferSize = 1 << 16;

QString cause(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

StandardOutput::StandardOutput(bool paged)
{
    const QByteArray pager = qgetenv("PAGER");
    if (paged && isatty(STDOUT_FILENO) && !pager.isEmpty()) {
        // A pager quit early closes the pipe: that ends the listing, not the program.
        std::signal(SIGPIPE, SIG_IGN);
        if ((m_pager = popen(pager.constData(), "w")))
            m_fd = fileno(m_pager);
    }
    m_buffer.reserve(bufferSize);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

StandardOutput::~StandardOutput()
{
    if (m_pager)
        pclose(m_pager);
}

qint64 StandardOutput::writeData(const char *data, qint64 size)
{
    if (!m_failure.isEmpty())
        return -1;
    m_buffer.append(data, qsizetype(size));
    if (m_buffer.size() >= bufferSize && !drain())
        return -1;
    return size;
}

bool StandardOutput::drain()
{
    const char *at = m_buffer.constData();
    qsizetype left = m_readerGone ? 0 : m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EPIPE && m_pager) {
            m_readerGone = true;
            break;
        }
        if (n <= 0) {
            m_failure = cause(n == 0 ? EIO : errno);
            setErrorString(m_failure);
            return false;
        }
        at += n;
        left -= n;
    }
    m_buffer.clear();
    return true;
}

bool StandardOutput::finish()
{
    if (m_failure.isEmpty())
        drain();
    if (m_pager) {
        pclose(m_pager);
        m_pager = nullptr;
    } else if (QString why; !closeStdioOutput(&why) && m_failure.isEmpty()) {
        m_failure = why.isEmpty() ? cause(EIO) : why;
    }
    QIODevice::close();
    return m_failure.isEmpty();
}

bool closeStdioOutput(QString *why)
{
    // fclose flushes, then closes the descriptor, where a file system may report a late write error.
    // The last flush says why (a write that failed earlier has lost its errno, and fails again).
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(stdout) == 0;
    if (!flushed || !closed) {
        if (why)
            *why = !flushed ? (flushError != 0 ? cause(flushError) : QString()) : cause(errno);
        return false;
    }
    return true;
}

} // namespace zefto::cli
