#include "dirlistbox.h"

#include <QCollator>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

namespace zefto::ui {
namespace {

// Shifts each entry right by its depth, so the list reads like a folder tree.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(indent(option, index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += indent(option, index);
        return size;
    }

private:
    static int indent(const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        return index.data(DirListBox::DepthRole).toInt() * option.fontMetrics.averageCharWidth() * 2;
    }
};

// The path and each directory above it, the root first.
QStringList descent(const QString &dir)
{
    QStringList chain{dir};
    for (QString p = dir;;) {
        const QString up = QFileInfo(p).path();
        if (up == p || up.isEmpty() || up == u'.')
            break;
        chain.prepend(up);
        p = up;
    }
    return chain;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QString absolutePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

void sortNatural(QStringList &names)
{
    // The C locale collates by code point and ignores numeric mode; a real
    // language still orders digits and Latin letters as a file manager does.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        const int order = collator.compare(a, b);
        // Names equal but for case still need one fixed order.
        return order != 0 ? order < 0 : a < b;
    });
}

DirectoryListing readDirectory(const QString &dir, QDir::Filters kind, const QStringList &nameFilters)
{
    if (dir.isEmpty())
        return {{}, DirListBox::tr("No directory was named.")};
    const QFileInfo info(dir);
    if (!info.exists())
        return {{}, DirListBox::tr("The directory '%1' does not exist.").arg(native(dir))};
    if (!info.isDir())
        return {{}, DirListBox::tr("'%1' is not a directory.").arg(native(dir))};
    bool readable = info.isReadable();
#ifdef Q_OS_UNIX
    // Without search permission the names can be read but nothing under them opened.
    readable = readable && info.isExecutable();
#endif
    if (!readable)
        return {{}, DirListBox::tr("The directory '%1' cannot be read: permission denied.").arg(native(dir))};

    QStringList names = QDir(dir).entryList(nameFilters, kind | QDir::NoDotAndDotDot, QDir::NoSort);
    sortNatural(names);
    return {names, {}};
}

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent), m_path(absolutePath(QDir::currentPath()))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // else a long name scrolls instead of eliding
    // A current directory that cannot be listed still shows where it is.
    fill(readDirectory(m_path, QDir::Dirs).names);
}

bool DirListBox::setPath(const QString &path)
{
    const QString dir = absolutePath(path);
    const DirectoryListing listing = readDirectory(dir, QDir::Dirs);
    if (!listing.error.isEmpty()) {
        emit failed(listing.error);
        return false;
    }
    m_path = dir;
    fill(listing.names);
    emit change();
    return true;
}

QString DirListBox::entryPath(int row) const
{
    const QListWidgetItem *entry = item(row);
    return entry ? entry->data(PathRole).toString() : QString();
}

void DirListBox::fill(const QStringList &subdirectories)
{
    clear();
    const QStringList chain = descent(m_path);
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const QIcon &icon, const QString &text, const QString &path, int depth) {
        auto *entry = new QListWidgetItem(icon, text, this);
        entry->setData(PathRole, path);
        entry->setData(DepthRole, depth);
    };
    for (int depth = 0; depth < chain.size(); ++depth) {
        const QString &dir = chain[depth];
        // The root has no name of its own; show it as the platform writes it.
        add(open, depth == 0 ? native(dir) : QFileInfo(dir).fileName(), dir, depth);
    }
    const QDir here(m_path);
    for (const QString &name : subdirectories)
        add(closed, name, here.filePath(name), int(chain.size()));

    m_pathRow = int(chain.size()) - 1;
    setCurrentRow(m_pathRow);
    scrollToItem(item(m_pathRow));
}

void DirListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QListWidgetItem *entry = itemAt(event->position().toPoint());
    const QString target = entry ? entry->data(PathRole).toString() : QString();
    QListWidget::mouseDoubleClickEvent(event);
    // The refill deletes the entry, so only its path is kept past this point.
    if (!target.isEmpty())
        setPath(target);
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        setPath(currentItem()->data(PathRole).toString());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace zefto::ui
