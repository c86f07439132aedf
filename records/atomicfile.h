#pragma once

#include "bufferedoutput.h"

#include <QString>

namespace zefto::records {

// A file written in full before it takes the place of `target`: the bytes go
// to a temporary file in the target's folder, and commit() flushes it to
// disk and renames it over the target, so the target is always either the
// old file or the whole new one. A symlink is followed: the file it leads
// to is replaced and the link kept, as editors do. A target that exists and
// is not a regular file (a folder, a device, a FIFO, a socket) is refused.
// Failures are Refusals naming the path and the cause.
class AtomicFile final : public BufferedOutput {
public:
    explicit AtomicFile(const QString &target);
    ~AtomicFile() override; // removes the temporary file unless committed

    // The file that commit() replaces (a symlink's destination, not the link).
    const QString &target() const { return m_target; }
    // Writes what is buffered, syncs and renames; throws a Refusal, leaving the target untouched.
    void commit();

private:
    [[noreturn]] void fail(const QString &why);

    QString m_target;
    QByteArray m_temp; // the temporary file's name, encoded for the system
    bool m_committed = false;
};

// Why `path` cannot be replaced by a new file ("it is a folder"), or an empty
// string when it does not exist or is a regular file (also through symlinks).
QString notReplaceable(const QString &path);

} // namespace zefto::records
