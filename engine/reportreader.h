#pragma once

#include "sha256.h"

#include <QString>
#include <string>
#include <vector>

namespace zefto {

// Sequential input of a report, one decoded line at a time, with constant
// memory. CR LF, a lone CR and a lone LF each end a line; the terminator is
// not part of the line. The last line needs no terminator.
class ReportReader {
public:
    // The bytes of a line that readLine keeps: every column ends at 161, and
    // a longer line (garbage, a zero-filled tail) is skipped, not held.
    static constexpr qsizetype keptLineBytes = 4096;

    ReportReader() = default;
    ~ReportReader();
    ReportReader(const ReportReader &) = delete;
    ReportReader &operator=(const ReportReader &) = delete;

    // Throws Error 53 (missing), 52 (a missing name that holds an undecodable
    // character), 75 (a directory, not a regular file, no permission, empty
    // path), 7 (out of memory). Never blocks on a FIFO or device.
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool atEnd();
    // The first keptLineBytes bytes of the next line, decoded.
    // Throws Error 62 at the end of the file, 57 when the read fails, 7 out of memory.
    QString readLine();
    // The same into `line`, reusing its buffer (a conversion reads line after
    // line); after a throw `line` may hold part of the next line.
    void readLine(QString &line);
    // Like readLine without decoding: the length of the next line in bytes.
    qsizetype skipLine();
    // The full length in bytes of the line last read or skipped, however
    // much of it readLine kept.
    qsizetype lastLineLength() const { return m_lastLength; }
    // Every byte read from now on goes to `digest` as well (null: none).
    void hashInto(Sha256 *digest) { m_digest = digest; }
    // Reads the rest of the file, so that the digest and bytesRead cover all of it.
    // Throws Error 57 when the read fails.
    void readToEnd();
    qint64 bytesRead() const { return m_bytesRead; }

    // Counts the lines of a report; Error 6 when there are more than 32767.
    static int countLines(const QString &path);
    // What the counting pass tells when it also hashes every byte it reads.
    struct Survey {
        int lines = 0;
        qint64 size = 0;
        QString sha256; // lower-case hex
    };
    // countLines, and the report's size and SHA-256 from the same reading;
    // std::bad_alloc when the hash cannot be set up.
    static Survey survey(const QString &path);

private:
    static int count(const QString &path, Sha256 *digest, qint64 *size);
    void openFile(const QString &path);
    bool fill();
    template <typename Sink> void takeLine(Sink &&sink);

    int m_fd = -1;
    QString m_path; // absolute, for messages
    std::vector<char> m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_len = 0;
    std::string m_kept; // the kept start of a line that spans buffer refills
    qsizetype m_lastLength = 0;
    Sha256 *m_digest = nullptr; // when set, takes every byte read
    qint64 m_bytesRead = 0;
};

} // namespace zefto
