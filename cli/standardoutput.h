#pragma once

#include <QIODevice>
#include <cstdio>

namespace zefto::cli {

// Standard output for listings, with every write checked: bytes are
// buffered and written straight to the descriptor, and finish() reports a
// failure of any write, of the last flush and of the close. With `paged` and
// a terminal on standard output, the text goes through $PAGER instead;
// quitting the pager early is no failure.
class StandardOutput final : public QIODevice {
public:
    explicit StandardOutput(bool paged);
    ~StandardOutput() override;
    StandardOutput(const StandardOutput &) = delete;
    StandardOutput &operator=(const StandardOutput &) = delete;

    // Flushes and closes; false when anything could not be written.
    bool finish();
    // Why the output failed ("No space left on device"), or an empty string.
    QString failure() const { return m_failure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool drain();

    int m_fd = 1;
    FILE *m_pager = nullptr;
    QByteArray m_buffer;
    QString m_failure;
    bool m_readerGone = false; // the pager was quit: the rest is dropped
};

// Flushes the C library's standard output and closes it; false when either
// fails, or an earlier write did, with the reason in `why` (empty when an
// earlier write failed and its reason is gone). For output written through stdio.
bool closeStdioOutput(QString *why);

} // namespace zefto::cli
