#include "standardoutput.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace zefto::cli {

using records::systemError;

StandardOutput::StandardOutput(bool paged) : BufferedOutput(1 << 16)
{
    m_fd = STDOUT_FILENO;
    const QByteArray pager = qgetenv("PAGER");
    if (paged && isatty(STDOUT_FILENO) && !pager.isEmpty()) {
        // A pager quit early closes the pipe: that ends the listing, not the program.
        std::signal(SIGPIPE, SIG_IGN);
        if ((m_pager = popen(pager.constData(), "w")))
            m_fd = fileno(m_pager);
    }
}

StandardOutput::~StandardOutput()
{
    if (m_pager)
        pclose(m_pager);
}

bool StandardOutput::finish()
{
    if (m_failure.isEmpty())
        drain();
    if (m_pager) {
        pclose(m_pager);
        m_pager = nullptr;
    } else if (QString why; !closeStdioOutput(&why) && m_failure.isEmpty()) {
        m_failure = why.isEmpty() ? systemError(EIO) : why;
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
            *why = !flushed ? (flushError != 0 ? systemError(flushError) : QString()) : systemError(errno);
        return false;
    }
    return true;
}

} // namespace zefto::cli
