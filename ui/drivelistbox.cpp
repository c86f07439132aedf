#include "drivelistbox.h"

#include "dirlistbox.h"

#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>

namespace zefto::ui {
namespace {

// One spelling per root, so roots compare and hash as text.
QString cleanRoot(const QString &text)
{
    QString root = QDir::cleanPath(QDir::fromNativeSeparators(text));
#ifdef Q_OS_WIN
    if (root.size() == 1 && root[0].isLetter())
        root += u':';
    if (root.size() == 2 && root[1] == u':')
        root += u'/';
    if (!root.isEmpty())
        root[0] = root[0].toUpper();
#endif
    return root;
}

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

bool sameRoot(const QString &a, const QString &b)
{
    return QString::compare(a, b, fileNameCase) == 0;
}

// Whether an absolute path lies on the file system mounted at root; "/data"
// does not contain "/database".
bool contains(const QString &root, const QString &path)
{
    if (root.endsWith(u'/'))
        return path.startsWith(root, fileNameCase) || sameRoot(path + u'/', root);
    return sameRoot(path, root) || path.startsWith(root + u'/', fileNameCase);
}

QString display(const QString &root, const QString &name)
{
#ifdef Q_OS_WIN
    QString text = root.left(2).toLower();
#else
    QString text = root;
#endif
    if (!name.isEmpty() && name != root)
        text += QStringLiteral(" [%1]").arg(name);
    return text;
}

#ifdef Q_OS_WIN
// The classic list shows every letter; readiness is asked when one is picked.
bool usable(const DriveListBox::Volume &)
{
    return true;
}
int rank(const QString &)
{
    return 0;
}
#else
bool underAny(const QString &root, std::initializer_list<const char16_t *> places)
{
    for (const char16_t *place : places) {
        if (contains(QString::fromUtf16(place), root))
            return true;
    }
    return false;
}

// Kernel and system views, images and per-process scratch space hold no reports.
bool usable(const DriveListBox::Volume &v)
{
    static const QSet<QString> pseudo = {
        QStringLiteral("proc"),          QStringLiteral("sysfs"),
        QStringLiteral("tmpfs"),         QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),        QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),       QStringLiteral("securityfs"),
        QStringLiteral("pstore"),        QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),       QStringLiteral("configfs"),
        QStringLiteral("fusectl"),       QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),     QStringLiteral("bpf"),
        QStringLiteral("autofs"),        QStringLiteral("binfmt_misc"),
        QStringLiteral("efivarfs"),      QStringLiteral("nsfs"),
        QStringLiteral("ramfs"),         QStringLiteral("rpc_pipefs"),
        QStringLiteral("selinuxfs"),     QStringLiteral("squashfs"),
        QStringLiteral("overlay"),       QStringLiteral("aufs"),
        QStringLiteral("nfsd"),          QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"),   QStringLiteral("fuse.lxcfs"),
        QStringLiteral("fuse.snapfuse"),
    };
    if (!v.readable)
        return false;
    // The root is where everything else hangs, whatever a container mounts it as.
    if (v.rootPath == u'/')
        return true;
    if (pseudo.contains(v.fileSystemType))
        return false;
    if (underAny(v.rootPath, {u"/media", u"/run/media"}))
        return true;
    return !underAny(v.rootPath, {u"/proc", u"/sys", u"/dev", u"/run", u"/snap", u"/boot"});
}

int rank(const QString &root)
{
    if (root == u'/')
        return 0;
    if (underAny(root, {u"/media", u"/run/media", u"/mnt"}))
        return 1;
    const QString home = QDir::homePath();
    if (underAny(root, {u"/home"}) || (home != u'/' && contains(home, root)))
        return 2;
    return 3;
}
#endif

} // namespace

QList<DriveListBox::Volume> DriveListBox::systemVolumes()
{
    QList<Volume> volumes;
#ifdef Q_OS_WIN
    for (const QFileInfo &letter : QDir::drives()) {
        const QStorageInfo storage(letter.absoluteFilePath());
        volumes.append({letter.absoluteFilePath(), QString::fromLatin1(storage.fileSystemType()), storage.name(),
                        storage.isValid() && storage.isReady()});
    }
#else
    for (const QStorageInfo &storage : QStorageInfo::mountedVolumes()) {
        const QFileInfo root(storage.rootPath());
        // A bind-mounted file (containers mount /etc/hosts so) is no drive.
        const bool readable =
            storage.isValid() && storage.isReady() && root.isDir() && root.isReadable() && root.isExecutable();
        volumes.append({storage.rootPath(), QString::fromLatin1(storage.fileSystemType()), storage.name(), readable});
    }
#endif
    return volumes;
}

DriveListBox::DriveListBox(QWidget *parent) : DriveListBox(&DriveListBox::systemVolumes, parent)
{}

DriveListBox::DriveListBox(VolumeSource source, QWidget *parent) : QComboBox(parent), m_source(std::move(source))
{
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_quiet && index >= 0)
            select(index);
    });
    refresh();
    const QString here = absoluteClean(QDir::currentPath());
    QString root = driveOf(here);
    if (!root.isEmpty())
        m_directories.insert(root, here);
    else if (count() > 0)
        root = itemData(0).toString();
    m_drive = root;
    setIndexQuietly(findData(root));
}

bool DriveListBox::setDrive(const QString &drive)
{
    QString root = listedRootFor(drive);
    if (root.isEmpty()) {
        // The medium may have been mounted since the list was last read.
        refresh();
        root = listedRootFor(drive);
    }
    if (root.isEmpty()) {
        emit failed(tr("There is no drive '%1'.").arg(QDir::toNativeSeparators(drive)));
        return false;
    }
    return select(findData(root));
}

QStringList DriveListBox::drives() const
{
    QStringList roots;
    for (int i = 0; i < count(); ++i)
        roots.append(itemData(i).toString());
    return roots;
}

QString DriveListBox::driveOf(const QString &path) const
{
    if (path.isEmpty())
        return {};
    const QString absolute = absoluteClean(path);
    QString best;
    for (const QString &root : drives()) {
        if (root.size() > best.size() && contains(root, absolute))
            best = root;
    }
    return best;
}

QString DriveListBox::currentDirectoryOf(const QString &drive) const
{
    const QString root = cleanRoot(drive);
    const QString dir = m_directories.value(root);
    // A directory removed since it was used sends the operator to the root, not to an error.
    if (!dir.isEmpty() && QFileInfo(dir).isDir())
        return dir;
    return root;
}

void DriveListBox::rememberDirectory(const QString &path)
{
    const QString root = driveOf(path);
    if (!root.isEmpty())
        m_directories.insert(root, absoluteClean(path));
}

void DriveListBox::refresh()
{
    QList<Volume> volumes;
    for (Volume v : m_source()) {
        v.rootPath = cleanRoot(v.rootPath);
        const bool listed = std::any_of(volumes.cbegin(), volumes.cend(),
                                        [&v](const Volume &w) { return sameRoot(w.rootPath, v.rootPath); });
        if (!listed && usable(v))
            volumes.append(v);
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume &a, const Volume &b) {
        const int ra = rank(a.rootPath);
        const int rb = rank(b.rootPath);
        return ra != rb ? ra < rb : QString::compare(a.rootPath, b.rootPath, Qt::CaseInsensitive) < 0;
    });

    const QScopedValueRollback quiet(m_quiet, true);
    clear();
    for (const Volume &v : volumes)
        addItem(display(v.rootPath, v.name), v.rootPath);
    if (!m_drive.isEmpty() && findData(m_drive) < 0)
        addItem(display(m_drive, {}), m_drive);
    setCurrentIndex(findData(m_drive));
}

void DriveListBox::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

bool DriveListBox::select(int index)
{
    const QString root = itemData(index).toString();
    if (root == m_drive) {
        setIndexQuietly(index);
        return true;
    }
    const QString problem = problemWith(root);
    if (!problem.isEmpty()) {
        // The operator's pick has already moved the combo box; put it back.
        setIndexQuietly(findData(m_drive));
        emit failed(problem);
        return false;
    }
    m_drive = root;
    setIndexQuietly(index);
    emit change();
    return true;
}

QString DriveListBox::listedRootFor(const QString &text) const
{
    if (text.isEmpty())
        return {};
    const QString root = cleanRoot(text);
    for (const QString &listed : drives()) {
        if (sameRoot(listed, root))
            return listed;
    }
    const QFileInfo info(root);
    if (info.isAbsolute() && info.exists())
        return driveOf(root);
    return {};
}

QString DriveListBox::problemWith(const QString &root) const
{
    // Asked afresh: a drive listed a minute ago may have been unplugged since.
    const QList<Volume> now = m_source();
    const auto it = std::find_if(now.cbegin(), now.cend(),
                                 [&root](const Volume &v) { return sameRoot(cleanRoot(v.rootPath), root); });
    const QString native = QDir::toNativeSeparators(root);
    if (it == now.cend())
        return tr("Drive '%1' is not ready: it is no longer present.").arg(native);
    const QFileInfo info(root);
    if (!it->readable || !info.isDir() || !info.isReadable())
        return tr("Drive '%1' is not ready: it cannot be read.").arg(native);
    return {};
}

void DriveListBox::setIndexQuietly(int index)
{
    const QScopedValueRollback quiet(m_quiet, true);
    setCurrentIndex(index);
}

} // namespace zefto::ui
