#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace zefto::records {

// The system's words for an errno value ("No space left on device").
QString systemError(int error);

// A write-only device that gathers bytes and hands them to a file
// descriptor, every write checked: the first failure is kept, refuses every
// later write and is what failure() says.
class BufferedOutput : public QIODevice {
public:
    BufferedOutput(const BufferedOutput &) = delete;
    BufferedOutput &operator=(const BufferedOutput &) = delete;

    // Why a write failed ("No space left on device"), or an empty string.
    QString failure() const { return m_failure; }

protected:
    // Open for writing; bytes go out when `bufferSize` are gathered or drain() is called.
    explicit BufferedOutput(qsizetype bufferSize);

    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;
    // Writes out what is gathered; false, the failure kept, when the system refused.
    bool drain();
    // Whether a write refused with `error` means the reader has gone, so
    // that the rest is dropped without a failure (a pager quit early).
    virtual bool readerGone(int error) const
    {
        Q_UNUSED(error);
        return false;
    }

    int m_fd = -1; // where the bytes go; none once closed
    QString m_failure;

private:
    qsizetype m_bufferSize;
    QByteArray m_buffer;     // bytes not yet handed to the system
    bool m_dropping = false; // the reader has gone: the rest is dropped
};

} // namespace zefto::records
