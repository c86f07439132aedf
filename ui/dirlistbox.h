#pragma once

#include <QDir>
#include <QListWidget>
#include <QString>
#include <QStringList>

namespace zefto::ui {

// What reading one directory gave: the names, or why it could not be read.
struct DirectoryListing {
    QStringList names; // in file-manager order
    QString error;     // empty when the directory was read; otherwise names the directory
};

// The entries of one kind (QDir::Dirs or QDir::Files) of an absolute directory
// that match nameFilters (wildcards, case-insensitive), without hidden entries,
// sorted as a file manager sorts them.
DirectoryListing readDirectory(const QString &dir, QDir::Filters kind, const QStringList &nameFilters = {});

// How this system compares file and directory names.
#ifdef Q_OS_WIN
inline constexpr Qt::CaseSensitivity fileNameCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity fileNameCase = Qt::CaseSensitive;
#endif

// A path made absolute against the process's current directory and cleaned,
// with '/' separators; empty stays empty.
QString absolutePath(const QString &path);

// Sorts names case-insensitively with digit runs compared as numbers, so
// "file2" comes before "file10", in the user's language.
void sortNatural(QStringList &names);

// A folder tree cut down to one line of descent: the ancestors of path() from
// the root, path() itself, then its subdirectories, each indented by depth.
// Double-click or Enter on an entry makes it the path.
class DirListBox : public QListWidget {
    Q_OBJECT

public:
    // Every entry carries its full path and its depth (the root is 0).
    static constexpr int PathRole = Qt::UserRole;
    static constexpr int DepthRole = Qt::UserRole + 1;

    // Starts at the process's current directory.
    explicit DirListBox(QWidget *parent = nullptr);

    // Absolute, '/' separators.
    QString path() const { return m_path; }

    // Moves to a directory; a relative path resolves against the process's
    // current directory. The list is refilled and change() is emitted before
    // this returns, also when the path is the one already shown: writing the
    // path is how a caller re-reads a directory that changed on disk.
    // A directory that is missing or cannot be read leaves path and list as
    // they were, emits failed() and returns false.
    bool setPath(const QString &path);

    QString entryPath(int row) const;
    // The row of path() itself, after its ancestors.
    int pathRow() const { return m_pathRow; }

signals:
    void change();
    void failed(const QString &message);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fill(const QStringList &subdirectories);

    QString m_path;
    int m_pathRow = -1;
};

} // namespace zefto::ui
