#pragma once

#include <QComboBox>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace zefto::ui {

// The drives a report can be picked from: the drive letters on Windows; on
// other systems the roots of the mounted file systems a user keeps files on,
// "/" first, then removable media, then home, then the rest.
// Remembers per drive the directory last used on it, the way Windows keeps a
// current directory per drive letter.
class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    // One entry of the mount table (on Windows, one drive letter).
    struct Volume {
        QString rootPath;       // '/' separators; "C:/" on Windows
        QString fileSystemType; // "ext4", "proc", ...
        QString name;           // the volume label, may be empty
        bool readable = false;  // a directory the user can list
    };
    using VolumeSource = std::function<QList<Volume>()>;

    // The system's mount table, read afresh on each call.
    static QList<Volume> systemVolumes();

    // Lists the system's drives and selects the one holding the process's
    // current directory, which it remembers as that drive's directory.
    explicit DriveListBox(QWidget *parent = nullptr);
    // Lists the drives that source reports; it is asked again whenever the
    // list is refreshed and whenever a drive is about to be selected.
    DriveListBox(VolumeSource source, QWidget *parent);

    // The selected drive's root ("/", "/media/usb", "C:/"), empty when none is listed.
    QString drive() const { return m_drive; }

    // Selects a drive given by its root, by a drive letter ("d:") or by any
    // existing absolute path on it. A drive that is not listed, or that is no
    // longer mounted or readable, leaves the selection as it was, emits
    // failed() with a message naming it and returns false. Selecting the drive
    // already selected succeeds without change().
    bool setDrive(const QString &drive);

    // The listed roots, in list order.
    QStringList drives() const;
    // The listed drive a path lies on (the longest root that contains it), empty if none.
    QString driveOf(const QString &path) const;

    // The directory last remembered on a drive while it still exists, else the drive's root.
    QString currentDirectoryOf(const QString &drive) const;
    // Remembers a directory as the current one of the drive it lies on.
    void rememberDirectory(const QString &path);

    // Re-reads the mount table; the selected drive stays listed and selected
    // even if it was unmounted, so the other lists keep agreeing with it.
    void refresh();

signals:
    // The selection changed, by the operator or by setDrive().
    void change();
    void failed(const QString &message);

protected:
    // Media mounted since the last look appear when the list opens.
    void showPopup() override;

private:
    bool select(int index);
    QString listedRootFor(const QString &text) const;
    QString problemWith(const QString &root) const;
    void setIndexQuietly(int index);

    VolumeSource m_source;
    QString m_drive;
    QHash<QString, QString> m_directories; // root -> last directory used on it
    bool m_quiet = false;                  // set while the index changes by program
};

} // namespace zefto::ui
