#pragma once

#include "outcome.h"
#include "windowport.h"

#include <QDialog>
#include <QElapsedTimer>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace zefto::records {
struct DryRun;
}

namespace zefto::ui {

class RecordTableModel;

// What a report would store, from a dry run through the engine against a
// scratch store that starts where the database stands; then, on Convert,
// the real run into the database with the duplicate guard. The
// neighbourhood typed here is for this report alone.
class PreviewDialog : public QDialog, public WindowPort {
    Q_OBJECT

public:
    PreviewDialog(const QString &database, const QString &reportPath, QWidget *parent = nullptr);
    ~PreviewDialog() override;

    QLineEdit *neighbourhood;
    QTableView *records;
    QPlainTextEdit *report;
    QLabel *message;
    QProgressBar *progress;
    QPushButton *convertButton;
    QPushButton *closeButton;
    RecordTableModel *model;

    // The dry run with the neighbourhood now in its field.
    void preview();
    // The real run; the window's records change when it stored any.
    void convert();
    const std::optional<RunOutcome> &dryRun() const { return m_dry; }
    const std::optional<RunOutcome> &converted() const { return m_real; }
    // The report line the last run stopped at (1-based; 0 for none).
    int highlightedLine() const { return m_highlighted; }

    // WindowPort
    QString text1() const override { return m_report; }
    void setCommand1Enabled(bool) override {}
    void setCommand3Enabled(bool) override {}
    void setProgressVisible(bool on) override;
    void setProgressMin(float v) override;
    void setProgressMax(float v) override;
    void setProgressValue(float v) override;
    void msgBox(const QString &prompt, MessageIcon icon) override;
    void showWaiting(const QString &text) override;
    void keepAlive() override;
    bool askConvertAgain(const QString &question) override;

signals:
    // A real run stored records in the database.
    void recordsStored();

private:
    void showReportText();
    QString dryText(const records::DryRun &run) const;
    QString realText(bool stored) const;
    void highlight(int line);
    std::optional<QString> chosenMahalle();

    QString m_database;
    QString m_report;
    QString m_said; // what the last run's message box would have said
    std::optional<RunOutcome> m_dry, m_real;
    int m_highlighted = 0;
    QElapsedTimer m_sincePaint;
};

} // namespace zefto::ui
