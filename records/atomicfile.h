#pragma once

#include <QIODevice>
#include <QString>

namespace zefto::records {

// A file written in full before it takes the place of `target`: the bytes go
// to a temporary file in the target's folder, and commit() flushes it to
// disk and renames it over the target, so the target is always either the
// old file or the whole new one. A symlink is followed: the file it leads
// to is replaced and the link kept, as editors do. A target that exists and
// is not a regular file (a folder, a device, a FIFO, a socket) is refused.
// Failures are Refusals naming the path and the cause.
class AtomicFile final : public QIODevice {
public:
    explicit AtomicFile(const QString &target);
    ~AtomicFile() override; // removes the temporary file unless committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // The file that commit() replaces (a symlink's destination, not the link).
    const QString &target() const { return m_target; }
    // Writes what is buffered, syncs and renames; throws a Refusal, leaving the target untouched.
    void commit();
    // Why the last write failed, or an empty string.
    QString failure() const { return m_failure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool drain();
    [[noreturn]] void fail(const QString &why);

    QString m_target;
    QByteArray m_temp; // the temporary file's name, encoded for the system
    int m_fd = -1;
    QByteArray m_buffer; // bytes not yet handed to the system
    QString m_failure;
    bool m_committed = false;
};

// Why `path` cannot be replaced by a new file ("it is a folder"), or an empty
// string when it does not exist or is a regular file (also through symlinks).
QString notReplaceable(const QString &path);

} // namespace zefto::records
