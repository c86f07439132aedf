#include "reportreader.h"

#include "codepage.h"
#include "error.h"

#include <QFileInfo>
#include <limits>

namespace zefto {
namespace {

constexpr qsizetype bufferSize = 64 * 1024;

Error openError(const QString &path, const QFile &file)
{
    if (path.isEmpty())
        return {err::PathAccess, QStringLiteral("No report file was named.")};
    const QFileInfo fi(path);
    if (!fi.exists())
        return {err::FileNotFound, QStringLiteral("File not found: '%1'.").arg(fi.absoluteFilePath())};
    if (fi.isDir())
        return {err::PathAccess, QStringLiteral("'%1' is a directory, not a report file.").arg(fi.absoluteFilePath())};
    return {err::PathAccess,
            QStringLiteral("Cannot read '%1': %2.").arg(fi.absoluteFilePath(), file.errorString())};
}

} // namespace

void ReportReader::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !m_file.open(QIODevice::ReadOnly))
        throw openError(path, m_file);
    m_buffer.resize(bufferSize);
}

void ReportReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_pos = m_len = 0;
    m_pieces.clear();
}

bool ReportReader::fill()
{
    if (m_pos < m_len)
        return true;
    if (!m_file.isOpen())
        return false;
    const qint64 n = m_file.read(m_buffer.data(), m_buffer.size());
    if (n < 0)
        throw Error(err::DeviceIo, QStringLiteral("Cannot read '%1': %2.").arg(m_file.fileName(), m_file.errorString()));
    m_pos = 0;
    m_len = n;
    return n > 0;
}

bool ReportReader::atEnd()
{
    return !fill();
}

// Hands the bytes of the next line to sink(bytes, size, last) piece by piece;
// a piece is valid only during the call.
template <typename Sink> void ReportReader::takeLine(Sink &&sink)
{
    if (!fill())
        throw Error::of(err::InputPastEnd);
    for (;;) {
        const char *start = m_buffer.constData() + m_pos;
        const char *end = m_buffer.constData() + m_len;
        const char *p = start;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        const bool last = p < end || m_file.atEnd();
        sink(start, p - start, last);
        m_pos += p - start;
        if (p < end) {
            const char terminator = *p;
            ++m_pos;
            if (terminator == '\r' && fill() && m_buffer[m_pos] == '\n')
                ++m_pos;
            return;
        }
        if (!fill())
            return; // last line without terminator (sink was told it was last)
    }
}

QString ReportReader::readLine()
{
    QString line;
    bool whole = false;
    m_pieces.clear();
    takeLine([&](const char *s, qsizetype n, bool last) {
        // Usually the whole line lies in the buffer: decode it in place.
        if (whole) { // a stream that grew after reporting its end
            line += decodeWindows1254(s, n);
            return;
        }
        if (last && m_pieces.isEmpty()) {
            line = decodeWindows1254(s, n);
            whole = true;
            return;
        }
        m_pieces.append(s, n);
    });
    return whole ? line : decodeWindows1254(m_pieces.constData(), m_pieces.size());
}

qsizetype ReportReader::skipLine()
{
    qsizetype total = 0;
    takeLine([&](const char *, qsizetype n, bool) { total += n; });
    return total;
}

int ReportReader::countLines(const QString &path)
{
    ReportReader r;
    r.open(path);
    int lines = 0;
    while (!r.atEnd()) {
        r.skipLine();
        if (lines == std::numeric_limits<qint16>::max())
            throw Error(err::Overflow,
                        QStringLiteral("The report '%1' has more than 32,767 lines.").arg(QFileInfo(path).absoluteFilePath()));
        ++lines;
    }
    return lines;
}

} // namespace zefto
