#pragma once

#include <QFileSystemWatcher>
#include <QListWidget>
#include <QString>

namespace zefto::ui {

// The files (never directories) of one directory that match a pattern,
// sorted as a file manager sorts them, with at most one selected.
class FileListBox : public QListWidget {
    Q_OBJECT

public:
    // Starts at the process's current directory with the pattern "*".
    explicit FileListBox(QWidget *parent = nullptr);

    // Absolute, '/' separators.
    QString path() const { return m_path; }
    // Lists another directory; a relative path resolves against the process's
    // current directory. Clears the selection.
    bool setPath(const QString &path);

    // Wildcards, several separated by ';' ("*.txt;*.rpt"), matched without
    // regard to case. Kept as its wildcards joined by ';' without blanks;
    // a pattern without any is "*".
    QString pattern() const { return m_pattern; }
    bool setPattern(const QString &pattern);

    // The selected entry's row, -1 when none is selected.
    int listIndex() const;
    // -1 clears the selection; a row outside the list changes nothing and
    // returns false. Does not emit fileClick().
    bool setListIndex(int index);
    // The bare file name at a row, empty outside the list.
    QString list(int index) const;
    int listCount() const { return count(); }

    // Takes a name as the operator types it:
    // - empty or blank text changes nothing;
    // - text naming an existing directory ("sub", "/tmp", "sub/") moves the list there;
    // - otherwise a directory part moves the list there, and the name part
    //   becomes the pattern when it holds '*' or '?', or else is selected when
    //   listed (nothing is selected when it is not).
    // Relative directory parts resolve against the process's current directory,
    // the directory a typed name is opened in, so the list shows the file that
    // would be opened. Only the selection changes when there is no directory part.
    // Does not emit fileClick().
    bool setFileName(const QString &text);

    // Reads the directory again, keeping the selected name and the scroll
    // position; the list does so by itself when the directory changes.
    void refresh();

    // Every failing setter changes nothing, emits failed() with a message that
    // names the directory, and returns false.

signals:
    // The operator picked a file with the mouse or the keyboard.
    void fileClick();
    // Double-click or Enter on a file: the operator wants it converted.
    void fileActivated();
    void failed(const QString &message);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool load(const QString &dir, const QString &pattern);
    void fill(const QStringList &names);
    void selectQuietly(int row);

    QString m_path;
    QString m_pattern = QStringLiteral("*");
    QFileSystemWatcher m_watcher;
    bool m_quiet = false; // set while the list changes by program, not by the operator
};

} // namespace zefto::ui
