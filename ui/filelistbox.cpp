#include "filelistbox.h"

#include "dirlistbox.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>

namespace zefto::ui {
namespace {

QStringList nameFilters(const QString &pattern)
{
    QStringList filters;
    for (const QString &part : pattern.split(u';', Qt::SkipEmptyParts)) {
        const QString wildcard = part.trimmed();
        if (!wildcard.isEmpty())
            filters.append(wildcard);
    }
    if (filters.isEmpty())
        filters.append(QStringLiteral("*"));
    return filters;
}

bool hasWildcard(const QString &name)
{
    return name.contains(u'*') || name.contains(u'?');
}

} // namespace

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent), m_path(absolutePath(QDir::currentPath()))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_quiet && listIndex() >= 0)
            emit fileClick();
    });
    // Long names keep their start and their extension; the tooltip has the whole path.
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // else a long name scrolls instead of eliding
    // A report copied into the folder shows without the folder being opened again.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileListBox::refresh);
    // A current directory that cannot be listed shows as an empty list.
    const QScopedValueRollback quiet(m_quiet, true);
    fill(readDirectory(m_path, QDir::Files, nameFilters(m_pattern)).names);
}

void FileListBox::fill(const QStringList &names)
{
    clear();
    for (const QString &name : names) {
        auto *entry = new QListWidgetItem(name, this);
        entry->setToolTip(QDir::toNativeSeparators(QDir(m_path).filePath(name)));
    }
    if (m_watcher.directories() != QStringList{m_path}) {
        if (!m_watcher.directories().isEmpty())
            m_watcher.removePaths(m_watcher.directories());
        m_watcher.addPath(m_path);
    }
}

void FileListBox::refresh()
{
    const DirectoryListing listing = readDirectory(m_path, QDir::Files, nameFilters(m_pattern));
    if (!listing.error.isEmpty())
        return; // the folder went away: the next move of the lists says so
    const QString chosen = listIndex() >= 0 ? list(listIndex()) : QString();
    const int scroll = verticalScrollBar()->value();
    const QScopedValueRollback quiet(m_quiet, true);
    fill(listing.names);
    const int again = listing.names.indexOf(chosen);
    if (again >= 0)
        setCurrentRow(again);
    verticalScrollBar()->setValue(scroll);
}

bool FileListBox::setPath(const QString &path)
{
    return load(absolutePath(path), m_pattern);
}

bool FileListBox::setPattern(const QString &pattern)
{
    return load(m_path, pattern);
}

int FileListBox::listIndex() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

bool FileListBox::setListIndex(int index)
{
    if (index < -1 || index >= count())
        return false;
    selectQuietly(index);
    return true;
}

QString FileListBox::list(int index) const
{
    const QListWidgetItem *entry = item(index);
    return entry ? entry->text() : QString();
}

bool FileListBox::setFileName(const QString &text)
{
    if (text.trimmed().isEmpty())
        return true;
    const QString typed = QDir::fromNativeSeparators(text);

    QString dirPart;
    QString namePart = typed;
    const qsizetype slash = typed.lastIndexOf(u'/');
    if (slash >= 0) {
        // Keep the slash of "/name" so the directory part is the root, not empty.
        dirPart = typed.left(slash + 1);
        namePart = typed.mid(slash + 1);
    }
#ifdef Q_OS_WIN
    else if (typed.size() >= 2 && typed[1] == u':') {
        dirPart = typed.left(2);
        namePart = typed.mid(2);
    }
#endif
    const bool wildcard = hasWildcard(namePart);
    if (!wildcard && !namePart.isEmpty() && QFileInfo(absolutePath(typed)).isDir()) {
        dirPart = typed;
        namePart.clear();
    }

    const QString dir = dirPart.isEmpty() ? m_path : absolutePath(dirPart);
    const QString pattern = wildcard ? namePart : m_pattern;
    if ((!dirPart.isEmpty() || wildcard) && !load(dir, pattern))
        return false;
    if (!wildcard && !namePart.isEmpty()) {
        int found = -1;
        for (int i = 0; i < count() && found < 0; ++i) {
            if (QString::compare(list(i), namePart, fileNameCase) == 0)
                found = i;
        }
        // A name that is not listed must not leave another file looking chosen.
        selectQuietly(found);
    }
    return true;
}

bool FileListBox::load(const QString &dir, const QString &pattern)
{
    const DirectoryListing listing = readDirectory(dir, QDir::Files, nameFilters(pattern));
    if (!listing.error.isEmpty()) {
        emit failed(listing.error);
        return false;
    }
    m_path = dir;
    m_pattern = nameFilters(pattern).join(u';');
    const QScopedValueRollback quiet(m_quiet, true);
    fill(listing.names);
    return true;
}

void FileListBox::selectQuietly(int row)
{
    const QScopedValueRollback quiet(m_quiet, true);
    if (row < 0) {
        clearSelection();
        setCurrentRow(-1);
    } else {
        setCurrentRow(row);
        scrollToItem(item(row));
    }
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    const int before = listIndex();
    QListWidget::mousePressEvent(event);
    // A click on the file already selected changes no selection, yet it is a
    // pick all the same: the text box may have been edited since.
    if (before >= 0 && listIndex() == before && itemAt(event->position().toPoint()) == item(before))
        emit fileClick();
}

// Not itemActivated: styles that activate on a single click would start a run on every pick.
void FileListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListWidget::mouseDoubleClickEvent(event);
    const QListWidgetItem *hit = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && hit && row(hit) == listIndex())
        emit fileActivated();
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && listIndex() >= 0) {
        emit fileActivated();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace zefto::ui
