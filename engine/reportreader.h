#pragma once

#include <QFile>
#include <QString>

namespace zefto {

// Sequential input of a report, one decoded line at a time, with constant
// memory. CR LF, a lone CR and a lone LF each end a line; the terminator is
// not part of the line. The last line needs no terminator.
class ReportReader {
public:
    // Throws Error 53 (missing), 75 (a directory, no permission, empty path).
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    bool atEnd();
    // Throws Error 62 at the end of the file, 57 when the read fails.
    QString readLine();
    // Like readLine without decoding: the length of the next line in bytes.
    qsizetype skipLine();

    // Counts the lines of a report; Error 6 when there are more than 32767.
    static int countLines(const QString &path);

private:
    bool fill();
    template <typename Sink> void takeLine(Sink &&sink);

    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_len = 0;
    QByteArray m_pieces; // a line that spans buffer refills
};

} // namespace zefto
