#include "frmzefto.h"

#include "mahalle.h"

#include "boxes.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "endbox.h"
#include "error.h"
#include "filelistbox.h"
#include "location.h"
#include "recordswindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace zefto::ui {
namespace {

// The layout is kept in twips, as designed; 15 twips make one pixel.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

} // namespace

frmZefto::frmZefto(QWidget *parent) : frmZefto(&DriveListBox::systemVolumes, parent)
{}

frmZefto::frmZefto(DriveListBoxVolumes volumes, QWidget *parent) : QWidget(parent)
{
    // The title, the buttons and the percent labels read the same in every language: never translated.
    setWindowTitle(QStringLiteral("Converter"));
    Command1 = new QPushButton(QStringLiteral("Ok"), this);
    Text1 = new QLineEdit(this);
    Dir1 = new DirListBox(this);
    File1 = new FileListBox(this);
    Command3 = new QPushButton(QStringLiteral("Cancel"), this);
    Drive1 = new DriveListBox(std::move(volumes), this);
    Label1 = new QLabel(QStringLiteral("% 0"), this);
    Label2 = new QLabel(QStringLiteral("% 100"), this);
    ProgressBar1 = new QProgressBar(this);
    m_waiting = new QLabel(this);
    layOut();
    connectHandlers();
    Form_Load();
}

frmZefto::~frmZefto() = default;

void frmZefto::layOut()
{
    // The designed size is the default and the least; a larger window gives its lists the room.
    setMinimumSize(designedSize);
    resize(designedSize);
    // The layout was drawn for an 8-point face; a larger default font clips "% 100".
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    placeControls();
    m_waiting->setAutoFillBackground(true);
    m_waiting->hide();

    // Neither button answers Enter or Escape for the window.
    for (QPushButton *b : {Command1, Command3}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    for (QLabel *label : {Label1, Label2}) {
        label->setFocusPolicy(Qt::NoFocus);
        // Faces wider than the one the layout was drawn for would clip "% 100".
        QFont f = label->font();
        while (QFontMetrics(f).horizontalAdvance(label->text()) > label->width() && f.pixelSize() > 7)
            f.setPixelSize(f.pixelSize() - 1);
        label->setFont(f);
    }

    // Screen readers and automation tell the controls apart by these names.
    Command1->setAccessibleName(Command1->text());
    Text1->setAccessibleName(tr("Report file"));
    Dir1->setAccessibleName(tr("Folders"));
    File1->setAccessibleName(tr("Files"));
    Command3->setAccessibleName(Command3->text());
    Drive1->setAccessibleName(tr("Drives"));
    // Qt on Linux names a combo box after its current entry and takes its name from the label
    // that labels it: one without room on screen, so the drive list is announced as "Drives".
    auto *drives = new QLabel(tr("Drives"), this);
    drives->setBuddy(Drive1);
    drives->setGeometry(Drive1->x(), Drive1->y(), 0, 0);
    ProgressBar1->setAccessibleName(tr("Progress"));

    // Focus order: Ok, text box, directories, files, Cancel, drives.
    QWidget::setTabOrder(Command1, Text1);
    QWidget::setTabOrder(Text1, Dir1);
    QWidget::setTabOrder(Dir1, File1);
    QWidget::setTabOrder(File1, Command3);
    QWidget::setTabOrder(Command3, Drive1);
    Command1->setFocus();
}

// The designed places at the designed size; what the window grows by goes to
// the two lists' columns and their height, the buttons keep to the right edge
// and the bottom row to the bottom, each control at its own size.
void frmZefto::placeControls()
{
    const int dw = std::max(0, width() - designedSize.width());
    const int dh = std::max(0, height() - designedSize.height());
    const int left = dw / 2, middle = dw - left;
    Command1->setGeometry(twips(4800, 120, 1215, 375).translated(dw, 0));
    Text1->setGeometry(twips(120, 120, 2175, 285).adjusted(0, 0, left, 0));
    Dir1->setGeometry(twips(2400, 120, 2295, 1380).translated(left, 0).adjusted(0, 0, middle, dh));
    File1->setGeometry(twips(120, 480, 2175, 1260).adjusted(0, 0, left, dh));
    Command3->setGeometry(twips(4800, 600, 1215, 375).translated(dw, 0));
    Drive1->setGeometry(twips(2400, 1560, 2295, 315).translated(left, dh).adjusted(0, 0, middle, 0));
    Label1->setGeometry(twips(120, 2040, 495, 255).translated(0, dh));
    Label2->setGeometry(twips(5400, 2040, 495, 255).translated(dw, dh));
    ProgressBar1->setGeometry(twips(720, 2040, 4575, 255).translated(0, dh).adjusted(0, 0, dw, 0));
    // The wait for the write lock is told across the whole bottom row.
    m_waiting->setGeometry(twips(120, 2040, 5775, 255).translated(0, dh).adjusted(0, 0, dw, 0));
    showWaitingText();
}

void frmZefto::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void frmZefto::connectHandlers()
{
    connect(Drive1, &DriveListBox::change, this, &frmZefto::Drive1_Change);
    connect(Dir1, &DirListBox::change, this, &frmZefto::Dir1_Change);
    connect(File1, &FileListBox::fileClick, this, &frmZefto::File1_Click);
    connect(File1, &FileListBox::fileActivated, this, &frmZefto::File1_Activated);
    connect(Command1, &QPushButton::clicked, this, &frmZefto::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &frmZefto::Command3_Click);
    connect(Drive1, &DriveListBox::failed, this, &frmZefto::showProblem);
    connect(Dir1, &DirListBox::failed, this, &frmZefto::showProblem);
    connect(File1, &FileListBox::failed, this, &frmZefto::showProblem);
    Text1->installEventFilter(this);
    m_previousDrive = Drive1->drive();
}

void frmZefto::Form_Load()
{
    const QString chosen = location::chosen(std::nullopt);
    // Clerks sharing a server must see where their records go; the default file needs no word.
    if (chosen != QLatin1String(location::defaultFileName)) {
        m_databaseNote = tr("Database: %1").arg(location::shown(chosen));
        for (QWidget *w : std::initializer_list<QWidget *>{ProgressBar1, Label1, Label2, m_waiting})
            w->setToolTip(m_databaseNote);
    }
    m_engine.watch = &m_check;
    try {
        m_engine.mahalle = mahalle::chosen(std::nullopt);
    } catch (const Error &e) {
        m_mahalleProblem = tr("Nothing can be converted.") + QStringLiteral("\n\n") + e.description();
    }
    try {
        m_engine.openDatabase(chosen);
    } catch (const Error &e) {
        // Shown once the window is up; Ok repeats it until the file can be opened.
        m_loadProblem = tr("The database cannot be opened.") + QStringLiteral("\n\n") + e.description();
    }
}

void frmZefto::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loadProblem.isEmpty() && !m_loadProblemShown) {
        m_loadProblemShown = true;
        QTimer::singleShot(0, this, [this] { msgBox(m_loadProblem, MessageIcon::Critical); });
    }
}

void frmZefto::Drive1_Change()
{
    if (m_revertingDrive)
        return;
    // The directory list moves first; its own handler moves the files and the current directory.
    if (!Dir1->setPath(Drive1->currentDirectoryOf(Drive1->drive()))) {
        m_revertingDrive = true;
        Drive1->setDrive(m_previousDrive);
        m_revertingDrive = false;
        return;
    }
    m_previousDrive = Drive1->drive();
}

void frmZefto::Dir1_Change()
{
    if (!File1->setPath(Dir1->path()))
        return;
    if (!QDir::setCurrent(File1->path())) {
        showProblem(tr("Cannot make '%1' the current folder.").arg(File1->path()));
        return;
    }
    Drive1->rememberDirectory(File1->path());
}

void frmZefto::File1_Click()
{
    const int i = File1->listIndex();
    if (i >= 0)
        Text1->setText(File1->list(i));
}

// Double-click or Enter on a file: pick it, then Ok.
void frmZefto::File1_Activated()
{
    File1_Click();
    if (Command1->isEnabled())
        Command1_Click();
}

void frmZefto::Text1_KeyPress(qint16 &KeyAscii)
{
    if (KeyAscii == 13)
        applyTypedName();
}

void frmZefto::Text1_LostFocus()
{
    applyTypedName();
}

// A typed directory moves every list, or none: a file shown is then a file Ok finds.
void frmZefto::applyTypedName()
{
    const QString before = File1->path();
    const QString pattern = File1->pattern();
    if (!File1->setFileName(Text1->text()) || File1->path() == Dir1->path())
        return;
    const QString target = File1->path();
    // The current directory is about to move: a relative name must keep naming the same file.
    if (QDir::isRelativePath(Text1->text()))
        Text1->setText(QDir::cleanPath(QDir::current().absoluteFilePath(Text1->text())));
    if (!moveListsTo(target)) {
        File1->setPattern(pattern);
        File1->setPath(before);
        return;
    }
    // Moving the folder list refreshed the file list; the typed name is selected again.
    File1->setFileName(Text1->text());
}

bool frmZefto::moveListsTo(const QString &directory)
{
    Drive1->rememberDirectory(directory);
    if (Drive1->driveOf(directory) != Drive1->drive())
        return Drive1->setDrive(directory) && Dir1->path() == directory;
    return Dir1->setPath(directory);
}

bool frmZefto::eventFilter(QObject *watched, QEvent *event)
{
    if (m_inWait && inputOutsideCancel(watched, event))
        return true;
    if (watched == Text1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        qint16 keyAscii = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            keyAscii = 13;
        else if (!key->text().isEmpty())
            keyAscii = qint16(key->text().at(0).unicode());
        if (keyAscii != 0) {
            Text1_KeyPress(keyAscii);
            if (keyAscii == 0)
                return true; // the handler swallowed the key
        }
    } else if (watched == Text1 && event->type() == QEvent::FocusOut) {
        // Losing the focus to another control, not to another window or a popup.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Text1_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

void frmZefto::Command1_Click()
{
    if (m_running)
        return;
    if (!m_mahalleProblem.isEmpty()) {
        msgBox(m_mahalleProblem, MessageIcon::Critical);
        return;
    }
    m_running = true;
    m_waitCancelled = false;
    m_sincePaint.start();
    // The last run's bar would stand full over this run's question or counting pass.
    ProgressBar1->setValue(ProgressBar1->minimum());
    m_lastOutcome = m_engine.Command1_Click();
    m_running = false;
}

void frmZefto::Command3_Click()
{
    // During a wait for another program's lock, Cancel gives the run up (nothing is stored).
    if (m_inWait) {
        m_waitCancelled = true;
        return;
    }
    close();
}

void frmZefto::closeEvent(QCloseEvent *event)
{
    // The run owns the window's state until it ends; closing waits for it.
    if (m_running)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void frmZefto::showProblem(const QString &message)
{
    msgBox(message, MessageIcon::Critical);
}

QString frmZefto::text1() const
{
    return Text1->text();
}

void frmZefto::setCommand1Enabled(bool on)
{
    Command1->setEnabled(on);
}

void frmZefto::setCommand3Enabled(bool on)
{
    Command3->setEnabled(on);
}

void frmZefto::setProgressVisible(bool on)
{
    ProgressBar1->setVisible(on);
}

void frmZefto::setProgressMin(float v)
{
    ProgressBar1->setMinimum(int(v));
}

void frmZefto::setProgressMax(float v)
{
    ProgressBar1->setMaximum(int(v));
}

void frmZefto::setProgressValue(float v)
{
    // Qt redraws the bar at once on every change, costing more than converting
    // the line: move it when it would move by a pixel, during a run no more often
    // than the window paints, and always to its ends.
    const int value = int(v);
    const int span = ProgressBar1->maximum() - ProgressBar1->minimum();
    const int step = std::max(1, span / std::max(1, ProgressBar1->width()));
    // Let the window paint now and then, but take no input while a run works.
    const bool paint = m_running && m_sincePaint.elapsed() >= 50;
    if ((std::abs(value - ProgressBar1->value()) >= step && (paint || !m_running)) || value >= ProgressBar1->maximum()
        || value <= ProgressBar1->minimum())
        ProgressBar1->setValue(value);
    if (paint) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_sincePaint.restart();
    }
}

void frmZefto::showWaiting(const QString &text)
{
    m_waitingText = text;
    m_waiting->setToolTip(m_databaseNote.isEmpty() ? text : text + u'\n' + m_databaseNote);
    m_waiting->setVisible(!text.isEmpty());
    showWaitingText();
    // While it waits, Cancel gives the wait up; no other control takes input.
    const bool waiting = !text.isEmpty();
    if (waiting != m_inWait) {
        m_inWait = waiting;
        Command3->setEnabled(waiting);
        if (waiting)
            qApp->installEventFilter(this);
        else
            qApp->removeEventFilter(this);
    }
    if (waiting)
        m_waiting->raise();
    m_waiting->repaint();
}

void frmZefto::showWaitingText()
{
    // A long address keeps its start and its end; the tooltip has it whole.
    m_waiting->setText(m_waiting->fontMetrics().elidedText(m_waitingText, Qt::ElideMiddle, m_waiting->width() - 4));
}

void frmZefto::keepAlive()
{
    // Paint and stay responsive to the window system; mid-run only a wait's Cancel takes input.
    QCoreApplication::processEvents(m_inWait ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    m_sincePaint.restart();
}

bool frmZefto::inputOutsideCancel(QObject *watched, QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
        // The window system's events reach the widget under the pointer only through its window.
        return qobject_cast<QWidget *>(watched) && watched != Command3;
    default: return false;
    }
}

void frmZefto::msgBox(const QString &prompt, MessageIcon icon)
{
    showBox(m_databaseNote.isEmpty() ? prompt : prompt + QStringLiteral("\n\n") + m_databaseNote, icon);
}

void frmZefto::endBox(const RunOutcome &outcome, MessageIcon icon)
{
    // Answered with "Show records", the box ends as OK does, then the records window opens on the run.
    if (showBox(endbox::text(outcome), icon, tr("Show records")))
        RecordsWindow::openOn(this, m_engine.databasePath(),
                              outcome.conversionId > 0 ? std::optional(outcome.conversionId) : std::nullopt);
}

bool frmZefto::showBox(const QString &text, MessageIcon icon, const QString &second)
{
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::Information: i = QMessageBox::Information; break;
    case MessageIcon::Warning: i = QMessageBox::Warning; break;
    case MessageIcon::Critical: i = QMessageBox::Critical; break;
    case MessageIcon::None: break;
    }
    QMessageBox box(i, QStringLiteral("Zefto"), text, QMessageBox::Ok, this);
    const QPushButton *other = second.isEmpty() ? nullptr : box.addButton(second, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    keepTitleWhole(box);
    box.exec();
    return other && box.clickedButton() == other;
}

bool frmZefto::askConvertAgain(const QString &question)
{
    return ui::askConvertAgain(this, m_databaseNote.isEmpty() ? question
                                                              : question + QStringLiteral("\n\n") + m_databaseNote);
}

} // namespace zefto::ui
