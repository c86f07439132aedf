#pragma once

#include "drivelistbox.h"
#include "engine.h"
#include "runcheck.h"
#include "windowport.h"

#include <QElapsedTimer>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zefto::ui {

using DriveListBoxVolumes = DriveListBox::VolumeSource;

class DirListBox;
class FileListBox;

// The one window: pick a report through the drive, directory and file
// lists or by typing it, convert it with Ok, close with Cancel. All the
// converting is the engine's; the window only forwards.
class frmZefto : public QWidget, public WindowPort {
    Q_OBJECT

public:
    explicit frmZefto(QWidget *parent = nullptr);
    // With the drives a mount table other than the system's reports.
    frmZefto(DriveListBoxVolumes volumes, QWidget *parent);
    ~frmZefto() override;

    // The controls, under the names the operator's documentation uses.
    QPushButton *Command1;
    QLineEdit *Text1;
    DirListBox *Dir1;
    FileListBox *File1;
    QPushButton *Command3;
    DriveListBox *Drive1;
    QLabel *Label1;
    QLabel *Label2;
    QProgressBar *ProgressBar1;

    // The conversion's shared state (db, satir, stt, stir, ...) and the page converter.
    Engine &engine() { return m_engine; }
    void tabloici() { m_engine.tabloici(); }
    // The last run's outcome, for callers that want more than the message.
    const std::optional<RunOutcome> &lastOutcome() const { return m_lastOutcome; }
    // Why the database could not be opened at load, if it could not.
    const QString &loadProblem() const { return m_loadProblem; }

    // Event handlers.
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void Text1_KeyPress(qint16 &KeyAscii);
    void Text1_LostFocus();
    void Command1_Click();
    void Command3_Click();

    // WindowPort
    QString text1() const override;
    void setCommand1Enabled(bool on) override;
    void setCommand3Enabled(bool on) override;
    void setProgressVisible(bool on) override;
    void setProgressMin(float v) override;
    void setProgressMax(float v) override;
    void setProgressValue(float v) override;
    void msgBox(const QString &prompt, MessageIcon icon) override;
    void endBox(const RunOutcome &outcome, MessageIcon icon) override;
    void showWaiting(const QString &text) override;
    void keepAlive() override;
    bool askConvertAgain(const QString &question) override;
    bool interruptRequested() const override { return m_waitCancelled; }

    // The size the window opens at, and its least.
    static constexpr QSize designedSize{6105 / 15, 2460 / 15};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut();
    void placeControls();
    void showWaitingText();
    bool inputOutsideCancel(QObject *watched, QEvent *event) const;
    void connectHandlers();
    void showProblem(const QString &message);
    void applyTypedName();
    bool moveListsTo(const QString &directory);
    void File1_Activated();
    // True when the operator answered with `second`, a button beside OK (none when empty).
    bool showBox(const QString &text, MessageIcon icon, const QString &second = QString());

    QLabel *m_waiting = nullptr; // over the bottom row while another program holds the database
    records::RunCheck m_check;   // each run's shares, counted as it stores them
    Engine m_engine{*this};
    std::optional<RunOutcome> m_lastOutcome;
    QString m_databaseNote; // "Database: <address>" when it is not the default file, else empty
    QString m_loadProblem;
    QString m_mahalleProblem; // a blank ZEFTO_MAHALLE: no run until it names a neighbourhood
    bool m_loadProblemShown = false;
    bool m_running = false;
    bool m_inWait = false; // another program holds the lock; Cancel gives the run up
    bool m_waitCancelled = false;
    QString m_waitingText; // whole; the label shows it elided
    bool m_revertingDrive = false;
    QString m_previousDrive;
    QElapsedTimer m_sincePaint;
};

} // namespace zefto::ui
