#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>

namespace zefto {

// Which file a path names: device and inode. A database removed or replaced
// while open keeps our connection on the old file, so we compare before
// telling anyone their records are in the file they named.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    // The file `path` names now, or nothing when it names none.
    static std::optional<FileIdentity> of(const QString &path);
    bool operator==(const FileIdentity &) const = default;
};

} // namespace zefto
