#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest/qtestkeyboard.h>
#include <QtTest/qtestmouse.h>

#include <gtest/gtest.h>

// Readable failure messages for names and paths.
static void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

using zefto::ui::DirListBox;
using zefto::ui::DriveListBox;
using zefto::ui::FileListBox;

namespace {

// A fresh directory tree per test that is also the process's current
// directory, since relative names resolve against it.
class ListBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previous = QDir::currentPath();
        m_root = QFileInfo(m_dir.path()).canonicalFilePath();
        QDir::setCurrent(m_root);
    }
    void TearDown() override { QDir::setCurrent(m_previous); }

    QString root() const { return m_root; }
    QString at(const QString &relative) const { return m_root + u'/' + relative; }
    QString mkdir(const QString &relative) const
    {
        EXPECT_TRUE(QDir(m_root).mkpath(relative));
        return at(relative);
    }
    QString touch(const QString &relative) const
    {
        EXPECT_TRUE(QDir(m_root).mkpath(QFileInfo(relative).path()));
        QFile f(at(relative));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << relative.toStdString();
        return at(relative);
    }
    static QString quoted(const QString &path) { return u'\'' + QDir::toNativeSeparators(path) + u'\''; }

private:
    QTemporaryDir m_dir;
    QString m_root;
    QString m_previous;
};

// Keeps a directory's permissions stripped for one scope, so the temporary
// tree can still be removed when a check fails.
class Locked {
public:
    Locked(QString path, QFile::Permissions permissions) : m_path(std::move(path)), m_before(QFile::permissions(m_path))
    {
        QFile::setPermissions(m_path, permissions);
    }
    ~Locked() { QFile::setPermissions(m_path, m_before); }

private:
    QString m_path;
    QFile::Permissions m_before;
};

QStringList entryPaths(const DirListBox &box)
{
    QStringList paths;
    for (int i = 0; i < box.count(); ++i)
        paths.append(box.entryPath(i));
    return paths;
}

QStringList subdirectoryTexts(const DirListBox &box)
{
    QStringList texts;
    for (int i = box.pathRow() + 1; i < box.count(); ++i)
        texts.append(box.item(i)->text());
    return texts;
}

QStringList names(const FileListBox &box)
{
    QStringList all;
    for (int i = 0; i < box.listCount(); ++i)
        all.append(box.list(i));
    return all;
}

QString lastMessage(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.last().at(0).toString();
}

void showAndWait(QWidget &widget)
{
    widget.resize(300, 400);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

using DirListBoxTest = ListBoxTest;
using FileListBoxTest = ListBoxTest;
using DriveListBoxTest = ListBoxTest;

// ---------------------------------------------------------------- DirListBox

TEST_F(DirListBoxTest, ShowsTheAncestorsFromTheRootThenTheSubdirectoriesInNaturalOrder)
{
    for (const char16_t *name : {u"a/b/dir10", u"a/b/Dir2", u"a/b/dir1/deeper", u"a/b/.hidden"})
        mkdir(QString::fromUtf16(name));
    touch(QStringLiteral("a/b/file.txt"));
    const QString path = at(QStringLiteral("a/b"));

    DirListBox box;
    EXPECT_EQ(box.path(), root());
    // Relative to the process's current directory.
    ASSERT_TRUE(box.setPath(QStringLiteral("a/b")));
    EXPECT_EQ(box.path(), path);

    QStringList ancestors{QStringLiteral("/")};
    QString prefix;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        prefix += u'/' + part;
        ancestors.append(prefix);
    }
    const QStringList subdirectories{path + QStringLiteral("/dir1"), path + QStringLiteral("/Dir2"),
                                     path + QStringLiteral("/dir10")};
    EXPECT_EQ(entryPaths(box), ancestors + subdirectories);
    EXPECT_EQ(box.item(0)->text(), QStringLiteral("/"));
    EXPECT_EQ(box.pathRow(), ancestors.size() - 1);
    EXPECT_EQ(box.item(box.pathRow())->text(), QStringLiteral("b"));
    EXPECT_EQ(subdirectoryTexts(box),
              (QStringList{QStringLiteral("dir1"), QStringLiteral("Dir2"), QStringLiteral("dir10")}));
    EXPECT_EQ(box.currentRow(), box.pathRow());

    // Ancestors step in one level at a time; subdirectories sit one level below the path.
    for (int row = 0; row < box.count(); ++row)
        EXPECT_EQ(box.item(row)->data(DirListBox::DepthRole).toInt(), std::min(row, box.pathRow() + 1)) << row;
}

TEST_F(DirListBoxTest, WritingThePathRefillsAndRunsTheChangeHandlersBeforeTheWriteReturns)
{
    mkdir(QStringLiteral("x/one"));
    mkdir(QStringLiteral("y/two"));
    touch(QStringLiteral("y/report.txt"));
    DirListBox dirs;
    FileListBox files;
    ASSERT_TRUE(dirs.setPath(at(QStringLiteral("x"))));

    int calls = 0;
    QString pathSeen;
    QStringList subdirectoriesSeen;
    QObject::connect(&dirs, &DirListBox::change, [&] {
        ++calls;
        pathSeen = dirs.path();
        subdirectoriesSeen = subdirectoryTexts(dirs);
        // The window's chain: the file list follows the directory list.
        files.setPath(dirs.path());
    });

    ASSERT_TRUE(dirs.setPath(at(QStringLiteral("y"))));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(pathSeen, at(QStringLiteral("y")));
    EXPECT_EQ(subdirectoriesSeen, QStringList{QStringLiteral("two")});
    EXPECT_EQ(files.path(), at(QStringLiteral("y")));
    EXPECT_EQ(names(files), QStringList{QStringLiteral("report.txt")});

    // Writing the same path again re-reads it.
    mkdir(QStringLiteral("y/three"));
    ASSERT_TRUE(dirs.setPath(at(QStringLiteral("y"))));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(subdirectoriesSeen, (QStringList{QStringLiteral("three"), QStringLiteral("two")}));
}

TEST_F(DirListBoxTest, AMissingPathOrAFileChangesNothingAndTheMessageNamesThePath)
{
    mkdir(QStringLiteral("here/child"));
    const QString file = touch(QStringLiteral("here/plain.txt"));
    const struct {
        QString path;
        QString message;
    } cases[] = {
        {at(QStringLiteral("gone")),
         QStringLiteral("The directory %1 does not exist.").arg(quoted(at(QStringLiteral("gone"))))},
        {QStringLiteral("gone/deeper"),
         QStringLiteral("The directory %1 does not exist.").arg(quoted(at(QStringLiteral("gone/deeper"))))},
        {file, QStringLiteral("%1 is not a directory.").arg(quoted(file))},
        {QString(), QStringLiteral("No directory was named.")},
    };

    DirListBox box;
    ASSERT_TRUE(box.setPath(at(QStringLiteral("here"))));
    const QStringList before = entryPaths(box);
    QSignalSpy changes(&box, &DirListBox::change);
    QSignalSpy failures(&box, &DirListBox::failed);
    for (const auto &c : cases) {
        EXPECT_FALSE(box.setPath(c.path)) << c.path.toStdString();
        EXPECT_EQ(lastMessage(failures), c.message);
        EXPECT_EQ(box.path(), at(QStringLiteral("here")));
        EXPECT_EQ(entryPaths(box), before);
    }
    EXPECT_EQ(failures.count(), std::size(cases));
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DirListBoxTest, AnUnreadableDirectoryChangesNothingInEitherList)
{
    const QString locked = mkdir(QStringLiteral("locked/inner"));
    touch(QStringLiteral("locked/inner/secret.txt"));
    touch(QStringLiteral("visible.txt"));
    const QString message = QStringLiteral("The directory %1 cannot be read: permission denied.").arg(quoted(locked));
    // No permission at all, and names readable but not searchable.
    int checked = 0;
    for (QFile::Permissions permissions :
         {QFile::Permissions(), QFile::Permissions(QFile::ReadOwner | QFile::ReadUser)}) {
        const Locked lock(locked, permissions);
        const QFileInfo info(locked);
        if (info.isReadable() && info.isExecutable())
            continue; // this user reads every directory whatever its permission bits say
        ++checked;
        DirListBox dirs;
        FileListBox files;
        QSignalSpy dirFailures(&dirs, &DirListBox::failed);
        QSignalSpy fileFailures(&files, &FileListBox::failed);
        const QStringList before = entryPaths(dirs);

        EXPECT_FALSE(dirs.setPath(locked));
        EXPECT_EQ(lastMessage(dirFailures), message);
        EXPECT_EQ(dirs.path(), root());
        EXPECT_EQ(entryPaths(dirs), before);

        EXPECT_FALSE(files.setPath(locked));
        EXPECT_FALSE(files.setFileName(locked + QStringLiteral("/secret.txt")));
        EXPECT_EQ(lastMessage(fileFailures), message);
        EXPECT_EQ(fileFailures.count(), 2);
        EXPECT_EQ(files.path(), root());
        EXPECT_EQ(names(files), QStringList{QStringLiteral("visible.txt")});
    }
    if (checked == 0)
        GTEST_SKIP() << "this user can read directories without permission";
}

TEST_F(DirListBoxTest, DoubleClickOrEnterOnAnEntryMakesItThePathButASingleClickDoesNot)
{
    const QString parent = mkdir(QStringLiteral("p"));
    mkdir(QStringLiteral("p/child/grandchild"));
    mkdir(QStringLiteral("p/other"));
    DirListBox box;
    showAndWait(box);
    ASSERT_TRUE(box.setPath(parent));
    QSignalSpy changes(&box, &DirListBox::change);

    const int otherRow = box.pathRow() + 2;
    ASSERT_EQ(box.item(otherRow)->text(), QStringLiteral("other"));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, box.visualItemRect(box.item(otherRow)).center());
    EXPECT_EQ(box.path(), parent);
    EXPECT_EQ(changes.count(), 0);

    const int childRow = box.pathRow() + 1;
    ASSERT_EQ(box.item(childRow)->text(), QStringLiteral("child"));
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, box.visualItemRect(box.item(childRow)).center());
    EXPECT_EQ(box.path(), parent + QStringLiteral("/child"));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(subdirectoryTexts(box), QStringList{QStringLiteral("grandchild")});

    // Back up to the parent with the keyboard: the row above the path is its parent.
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Up);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.path(), parent);
    EXPECT_EQ(changes.count(), 2);

    box.setCurrentRow(box.pathRow() + 1);
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(box.path(), parent + QStringLiteral("/child"));
    EXPECT_EQ(changes.count(), 3);
}

// --------------------------------------------------------------- FileListBox

class FileListBoxFilled : public ListBoxTest {
protected:
    void SetUp() override
    {
        ListBoxTest::SetUp();
        dir = mkdir(QStringLiteral("f"));
        for (const char16_t *name :
             {u"f/file10.txt", u"f/file2.txt", u"f/File1.rpt", u"f/b.DAT", u"f/notes", u"f/.hidden"})
            touch(QString::fromUtf16(name));
        mkdir(QStringLiteral("f/sub.txt"));
        ASSERT_TRUE(box.setPath(dir));
    }

    QString dir;
    FileListBox box;
};

TEST_F(FileListBoxTest, StartsInTheProcessCurrentDirectoryWithEveryFile)
{
    touch(QStringLiteral("one.txt"));
    mkdir(QStringLiteral("folder"));
    FileListBox box;
    EXPECT_EQ(box.path(), root());
    EXPECT_EQ(box.pattern(), QStringLiteral("*"));
    EXPECT_EQ(names(box), QStringList{QStringLiteral("one.txt")});
    EXPECT_EQ(box.listIndex(), -1);
}

TEST_F(FileListBoxFilled, ListsOnlyVisibleFilesInNaturalOrder)
{
    EXPECT_EQ(names(box),
              (QStringList{QStringLiteral("b.DAT"), QStringLiteral("File1.rpt"), QStringLiteral("file2.txt"),
                           QStringLiteral("file10.txt"), QStringLiteral("notes")}));
    EXPECT_EQ(box.listCount(), 5);
    EXPECT_EQ(box.list(5), QString());
    EXPECT_EQ(box.list(-1), QString());
}

TEST_F(FileListBoxFilled, APatternFiltersByWildcardsWithoutRegardToCase)
{
    const struct {
        QString pattern;
        QString stored;
        QStringList listed;
    } cases[] = {
        {QStringLiteral("*.txt"), QStringLiteral("*.txt"), {QStringLiteral("file2.txt"), QStringLiteral("file10.txt")}},
        {QStringLiteral("*.txt;*.rpt"),
         QStringLiteral("*.txt;*.rpt"),
         {QStringLiteral("File1.rpt"), QStringLiteral("file2.txt"), QStringLiteral("file10.txt")}},
        {QStringLiteral("*.TXT"), QStringLiteral("*.TXT"), {QStringLiteral("file2.txt"), QStringLiteral("file10.txt")}},
        {QStringLiteral(" *.rpt ; ;*.dat"),
         QStringLiteral("*.rpt;*.dat"),
         {QStringLiteral("b.DAT"), QStringLiteral("File1.rpt")}},
        {QStringLiteral("file?.*"),
         QStringLiteral("file?.*"),
         {QStringLiteral("File1.rpt"), QStringLiteral("file2.txt")}},
        {QStringLiteral("*.none"), QStringLiteral("*.none"), {}},
        {QString(),
         QStringLiteral("*"),
         {QStringLiteral("b.DAT"), QStringLiteral("File1.rpt"), QStringLiteral("file2.txt"),
          QStringLiteral("file10.txt"), QStringLiteral("notes")}},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(box.setListIndex(0) || box.listCount() == 0);
        ASSERT_TRUE(box.setPattern(c.pattern));
        EXPECT_EQ(box.pattern(), c.stored);
        EXPECT_EQ(names(box), c.listed) << c.pattern.toStdString();
        EXPECT_EQ(box.path(), dir);
        EXPECT_EQ(box.listIndex(), -1);
    }
}

TEST_F(FileListBoxFilled, SetFileNameWithAPathMovesTheListAndSelectsTheFile)
{
    touch(QStringLiteral("reports/r1.txt"));
    touch(QStringLiteral("reports/r2.txt"));
    // The same relative name under the list's own directory must not be the one taken.
    touch(QStringLiteral("f/reports/r1.txt"));
    QSignalSpy clicks(&box, &FileListBox::fileClick);

    ASSERT_TRUE(box.setFileName(at(QStringLiteral("reports/r2.txt"))));
    EXPECT_EQ(box.path(), at(QStringLiteral("reports")));
    EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("r2.txt"));
    EXPECT_EQ(box.pattern(), QStringLiteral("*"));

    ASSERT_TRUE(box.setPath(dir));
    ASSERT_TRUE(box.setFileName(QStringLiteral("reports/r1.txt")));
    EXPECT_EQ(box.path(), at(QStringLiteral("reports")));
    EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("r1.txt"));

    // A path that names a file which is not there still moves the list, with nothing selected.
    ASSERT_TRUE(box.setFileName(dir + QStringLiteral("/missing.txt")));
    EXPECT_EQ(box.path(), dir);
    EXPECT_EQ(box.listIndex(), -1);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(FileListBoxFilled, SetFileNameWithAWildcardSetsThePattern)
{
    touch(QStringLiteral("reports/r1.txt"));
    touch(QStringLiteral("reports/r1.rpt"));

    ASSERT_TRUE(box.setFileName(QStringLiteral("*.rpt")));
    EXPECT_EQ(box.path(), dir);
    EXPECT_EQ(box.pattern(), QStringLiteral("*.rpt"));
    EXPECT_EQ(names(box), QStringList{QStringLiteral("File1.rpt")});

    ASSERT_TRUE(box.setFileName(QStringLiteral("reports/*.txt;*.dat")));
    EXPECT_EQ(box.path(), at(QStringLiteral("reports")));
    EXPECT_EQ(box.pattern(), QStringLiteral("*.txt;*.dat"));
    EXPECT_EQ(names(box), QStringList{QStringLiteral("r1.txt")});
}

TEST_F(FileListBoxFilled, SetFileNameWithADirectoryMovesTheListAndKeepsThePattern)
{
    touch(QStringLiteral("reports/r1.txt"));
    touch(QStringLiteral("reports/r1.rpt"));
    ASSERT_TRUE(box.setPattern(QStringLiteral("*.rpt")));

    for (const QString &typed :
         {QStringLiteral("reports"), at(QStringLiteral("reports")), QStringLiteral("reports/")}) {
        ASSERT_TRUE(box.setPath(dir));
        ASSERT_TRUE(box.setFileName(typed)) << typed.toStdString();
        EXPECT_EQ(box.path(), at(QStringLiteral("reports"))) << typed.toStdString();
        EXPECT_EQ(box.pattern(), QStringLiteral("*.rpt"));
        EXPECT_EQ(names(box), QStringList{QStringLiteral("r1.rpt")});
    }
    // "sub.txt" is a directory, though its name looks like a file's.
    ASSERT_TRUE(box.setPath(dir));
    ASSERT_TRUE(box.setFileName(QStringLiteral("f/sub.txt")));
    EXPECT_EQ(box.path(), dir + QStringLiteral("/sub.txt"));
}

TEST_F(FileListBoxFilled, SetFileNameWithAMissingDirectoryFailsAndKeepsEverything)
{
    const QString file = dir + QStringLiteral("/file2.txt");
    const struct {
        QString typed;
        QString message;
    } cases[] = {
        {at(QStringLiteral("gone/r1.txt")),
         QStringLiteral("The directory %1 does not exist.").arg(quoted(at(QStringLiteral("gone"))))},
        {QStringLiteral("gone/*.rpt"),
         QStringLiteral("The directory %1 does not exist.").arg(quoted(at(QStringLiteral("gone"))))},
        {QStringLiteral("gone/deeper/"),
         QStringLiteral("The directory %1 does not exist.").arg(quoted(at(QStringLiteral("gone/deeper"))))},
        {file + QStringLiteral("/x.txt"), QStringLiteral("%1 is not a directory.").arg(quoted(file))},
    };
    ASSERT_TRUE(box.setPattern(QStringLiteral("*.txt")));
    ASSERT_TRUE(box.setListIndex(1));
    QSignalSpy failures(&box, &FileListBox::failed);
    QSignalSpy clicks(&box, &FileListBox::fileClick);

    for (const auto &c : cases) {
        EXPECT_FALSE(box.setFileName(c.typed)) << c.typed.toStdString();
        EXPECT_EQ(lastMessage(failures), c.message);
        EXPECT_EQ(box.path(), dir);
        EXPECT_EQ(box.pattern(), QStringLiteral("*.txt"));
        EXPECT_EQ(names(box), (QStringList{QStringLiteral("file2.txt"), QStringLiteral("file10.txt")}));
        EXPECT_EQ(box.listIndex(), 1);
    }
    EXPECT_FALSE(box.setPath(at(QStringLiteral("gone"))));
    EXPECT_EQ(box.path(), dir);
    EXPECT_EQ(failures.count(), std::size(cases) + 1);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(FileListBoxFilled, APlainNameSelectsOnlyAListedFileAndEmptyTextDoesNothing)
{
    ASSERT_TRUE(box.setFileName(QStringLiteral("file10.txt")));
    EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("file10.txt"));

    for (const QString &typed : {QString(), QStringLiteral("   ")}) {
        ASSERT_TRUE(box.setFileName(typed));
        EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("file10.txt"));
        EXPECT_EQ(box.path(), dir);
    }

    // Not there, or hidden by the pattern: nothing stays selected and the list stays put.
    ASSERT_TRUE(box.setFileName(QStringLiteral("nothere.txt")));
    EXPECT_EQ(box.listIndex(), -1);
    EXPECT_EQ(box.path(), dir);
    ASSERT_TRUE(box.setPattern(QStringLiteral("*.txt")));
    ASSERT_TRUE(box.setFileName(QStringLiteral("File1.rpt")));
    EXPECT_EQ(box.listIndex(), -1);
}

TEST_F(FileListBoxFilled, TheOperatorPickingAFileSignalsFileClickButTheProgramDoesNot)
{
    showAndWait(box);
    QSignalSpy clicks(&box, &FileListBox::fileClick);
    const auto centreOf = [this](int row) { return box.visualItemRect(box.item(row)).center(); };

    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("file2.txt"));

    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(box.list(box.listIndex()), QStringLiteral("file10.txt"));

    // Clicking the file already selected picks it again.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, centreOf(3));
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_EQ(box.listIndex(), 3);

    EXPECT_TRUE(box.setListIndex(0));
    EXPECT_EQ(box.listIndex(), 0);
    EXPECT_FALSE(box.setListIndex(box.listCount()));
    EXPECT_FALSE(box.setListIndex(-2));
    EXPECT_EQ(box.listIndex(), 0);
    EXPECT_TRUE(box.setListIndex(-1));
    EXPECT_EQ(box.listIndex(), -1);
    ASSERT_TRUE(box.setPath(dir));
    EXPECT_EQ(clicks.count(), 3);

    // Only one file can be selected, even with Ctrl held.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, centreOf(0));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(1));
    EXPECT_EQ(box.selectedItems().size(), 1);
    EXPECT_EQ(box.listIndex(), 1);
}

// -------------------------------------------------------------- DriveListBox

// A mount table the test can change between questions, the way media come and go.
struct MountTable {
    QList<DriveListBox::Volume> volumes;
    DriveListBox::VolumeSource source()
    {
        return [this] { return volumes; };
    }
};

DriveListBox::Volume mount(const QString &root, bool readable = true)
{
    return {root, QStringLiteral("ext4"), {}, readable};
}

TEST_F(DriveListBoxTest, TheSystemListStartsAtTheRootAndAtTheCurrentDirectory)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "drive letters have no single root";
#endif
    DriveListBox box;
    ASSERT_GE(box.count(), 1);
    EXPECT_EQ(box.drives().first(), QStringLiteral("/"));
    for (const QString &drive : box.drives()) {
        for (const char16_t *system : {u"/proc", u"/sys", u"/dev/"})
            EXPECT_FALSE(drive.startsWith(QString::fromUtf16(system))) << drive.toStdString();
        EXPECT_TRUE(QFileInfo(drive).isDir()) << drive.toStdString();
    }
    EXPECT_EQ(box.drive(), box.driveOf(root()));
    EXPECT_EQ(box.currentDirectoryOf(box.drive()), root());
}

TEST_F(DriveListBoxTest, OnlyRealReadableMountsAreListedRootFirstThenRemovableThenHome)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows lists every drive letter";
#endif
    MountTable table;
    const auto m = [](const char16_t *root, const char16_t *type, const char16_t *name = u"", bool readable = true) {
        return DriveListBox::Volume{QString::fromUtf16(root), QString::fromUtf16(type), QString::fromUtf16(name),
                                    readable};
    };
    table.volumes = {
        m(u"/proc", u"proc"),
        m(u"/data", u"xfs"),
        m(u"/sys/fs/cgroup", u"cgroup2"),
        m(u"/dev/shm", u"tmpfs"),
        m(u"/run/user/1000", u"tmpfs"),
        m(u"/snap/core/123", u"squashfs"),
        m(u"/var/lib/docker/overlay2/x/merged", u"overlay"),
        m(u"/run/media/ali/CARD/", u"exfat", u"CARD"),
        m(u"/home", u"ext4"),
        m(u"/media/usb", u"vfat", u"USB"),
        m(u"/mnt/backup", u"ext4", u"", false),
        m(u"/etc/hosts", u"ext4", u"", false),
        m(u"/boot/efi", u"vfat"),
        m(u"/", u"overlay"),
        m(u"/", u"ext4"),
    };
    DriveListBox box(table.source(), nullptr);
    EXPECT_EQ(box.drives(),
              (QStringList{QStringLiteral("/"), QStringLiteral("/media/usb"), QStringLiteral("/run/media/ali/CARD"),
                           QStringLiteral("/home"), QStringLiteral("/data")}));
    EXPECT_EQ(box.itemText(1), QStringLiteral("/media/usb [USB]"));
    EXPECT_EQ(box.itemText(4), QStringLiteral("/data"));
    EXPECT_EQ(box.drive(), QStringLiteral("/"));
}

TEST_F(DriveListBoxTest, ADriveThatIsMissingOrNotReadyFailsAndKeepsTheSelection)
{
    const QString a = mkdir(QStringLiteral("a"));
    const QString b = mkdir(QStringLiteral("b"));
    MountTable table;
    table.volumes = {mount(a), mount(b)};
    DriveListBox box(table.source(), nullptr);
    ASSERT_TRUE(box.setDrive(a));
    QSignalSpy changes(&box, &DriveListBox::change);
    QSignalSpy failures(&box, &DriveListBox::failed);
    const auto expectStillOnA = [&] {
        EXPECT_EQ(box.drive(), a);
        EXPECT_EQ(box.currentIndex(), box.drives().indexOf(a));
        EXPECT_EQ(changes.count(), 0);
    };

    EXPECT_FALSE(box.setDrive(QStringLiteral("/no/such/drive")));
    EXPECT_EQ(lastMessage(failures),
              QStringLiteral("There is no drive %1.").arg(quoted(QStringLiteral("/no/such/drive"))));
    expectStillOnA();
    EXPECT_FALSE(box.setDrive(QString()));
    expectStillOnA();

    // Unplugged after the list was read: b is still listed but no longer mounted.
    table.volumes = {mount(a)};
    EXPECT_FALSE(box.setDrive(b));
    EXPECT_EQ(lastMessage(failures), QStringLiteral("Drive %1 is not ready: it is no longer present.").arg(quoted(b)));
    expectStillOnA();
    box.setCurrentIndex(box.drives().indexOf(b)); // the operator picks it
    EXPECT_EQ(lastMessage(failures), QStringLiteral("Drive %1 is not ready: it is no longer present.").arg(quoted(b)));
    expectStillOnA();

    table.volumes = {mount(a), mount(b, false)};
    box.setCurrentIndex(box.drives().indexOf(b));
    EXPECT_EQ(lastMessage(failures), QStringLiteral("Drive %1 is not ready: it cannot be read.").arg(quoted(b)));
    expectStillOnA();
    EXPECT_EQ(failures.count(), 5);

    // Plugged in again, it can be chosen.
    table.volumes = {mount(a), mount(b)};
    EXPECT_TRUE(box.setDrive(b));
    EXPECT_EQ(box.drive(), b);
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(DriveListBoxTest, EachDriveRemembersTheDirectoryLastUsedOnIt)
{
    // "d" is a prefix of "dd" as text but not as a path.
    const QString d = mkdir(QStringLiteral("d"));
    const QString dd = mkdir(QStringLiteral("dd"));
    const QString dx = mkdir(QStringLiteral("d/x"));
    const QString ddy = mkdir(QStringLiteral("dd/y/z"));
    MountTable table;
    table.volumes = {mount(d), mount(dd)};
    DriveListBox box(table.source(), nullptr);
    ASSERT_TRUE(box.setDrive(d));
    QSignalSpy changes(&box, &DriveListBox::change);

    EXPECT_EQ(box.currentDirectoryOf(d), d);
    box.rememberDirectory(dx);
    box.rememberDirectory(ddy);
    EXPECT_EQ(box.currentDirectoryOf(d), dx);
    EXPECT_EQ(box.currentDirectoryOf(dd), ddy);
    EXPECT_EQ(box.driveOf(ddy), dd);
    EXPECT_EQ(box.driveOf(root()), QString());
    EXPECT_EQ(box.driveOf(at(QStringLiteral("ddd/x"))), QString());

    // Each switch, by program or by the operator, is one change; re-selecting is none.
    ASSERT_TRUE(box.setDrive(dd));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(box.currentDirectoryOf(box.drive()), ddy);
    ASSERT_TRUE(box.setDrive(dd));
    EXPECT_EQ(changes.count(), 1);
    box.setCurrentIndex(box.drives().indexOf(d));
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(box.currentDirectoryOf(box.drive()), dx);

    // A path on a drive selects that drive.
    ASSERT_TRUE(box.setDrive(dd + QStringLiteral("/y")));
    EXPECT_EQ(box.drive(), dd);
    EXPECT_EQ(changes.count(), 3);

    // A later directory replaces the earlier one; a removed one falls back to the root.
    box.rememberDirectory(dd + QStringLiteral("/y"));
    EXPECT_EQ(box.currentDirectoryOf(dd), dd + QStringLiteral("/y"));
    ASSERT_TRUE(QDir(dx).removeRecursively());
    EXPECT_EQ(box.currentDirectoryOf(d), d);
}

} // namespace
