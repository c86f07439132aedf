#pragma once

#include "database.h"
#include "export.h"
#include "recordscopy.h"
#include "recordsgrid.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zefto::ui {

class PreviewDialog;
class RecordTableModel;

// "Zefto Records": the records of ovrekson beside the conversion log, a
// filter, and undo, export and preview of a report. Everything it does is
// the records library's and the engine's; the window shows and forwards.
class RecordsWindow : public QMainWindow {
    Q_OBJECT

public:
    // On the database `name` (a file path or a postgresql:// address, resolved).
    explicit RecordsWindow(const QString &database, QWidget *parent = nullptr);
    ~RecordsWindow() override;

    // A window of its own on `database` (resolved, as the main window keeps
    // it), showing conversion `conversionId` (every record when none).
    // It deletes itself when closed.
    static RecordsWindow *openOn(QWidget *parent, const QString &database, std::optional<qint64> conversionId);
    // The database a window started alone uses, as location::chosen ranks them, resolved here.
    static QString chosenDatabase();

    // Shows the records of conversion `id`, or every record.
    void showConversion(std::optional<qint64> id);
    // The conversion whose records are shown; none for every record.
    std::optional<qint64> shownConversion() const;
    // Reads the log and the records again.
    void reload();
    // As reload, keeping the selection and the scroll position (F5, Refresh, another program's commit).
    void refresh();
    // How often the window looks for another program's commit.
    static constexpr int watchIntervalMs = 1000;

    // Asks, removes the shown conversion's records, and says what it did.
    void undoConversion();
    // Writes the records shown (all, one conversion's, filtered) to a file the user names.
    void exportRecords();
    // Asks for a report and opens its preview (returned; nullptr when none was chosen).
    PreviewDialog *previewReport();
    // Opens the preview of `reportPath`, its dry run done.
    PreviewDialog *preview(const QString &reportPath);

    // Where file names come from; tests answer instead of a file dialog.
    std::function<QString(QWidget *parent, const QString &suggested)> chooseExportFile;
    std::function<QString(QWidget *parent)> chooseReport;

    QListWidget *conversions;
    QLineEdit *filter;
    RecordsGrid *table;
    QPushButton *previewButton;
    QPushButton *exportButton;
    QPushButton *undoButton;
    QPushButton *checkButton;
    QPushButton *closeButton;
    QPushButton *refreshButton;
    QLabel *count;
    QLabel *searching;
    RecordTableModel *model;
    QTimer *watch; // looks for another program's commit

private:
    void layOut();
    void placeButtons(QWidget *split);
    void connectActions();
    void openDatabase();
    void fillLog();
    void showSelected();
    void updateCount();
    void problem(const QString &text);
    void noticeChanges();
    void showConversionOfKey(qint64 key);
    void exportSelection();
    // A sorted grid's place, by record: the selected cells' rows, the top row and the current row.
    struct KeptRecords {
        static constexpr qint64 maxRows = 10000;
        struct Cells {
            qint64 key;
            int left, right;
        };
        std::vector<Cells> cells;
        qint64 top = 0, current = 0;
    };
    std::optional<KeptRecords> keepRecords(const SelectionSpans &selected, int currentRow);
    void followRecords(const KeptRecords &kept, int currentColumn);
    // Asks for a file (`suggested` at first) and has `write` export to it under the filter, saying how it went.
    using Exporter = std::function<records::Exported(const QString &path, const std::optional<QString> &filter)>;
    void exportTo(const QString &suggested, const Exporter &write);

    QString m_name;
    std::shared_ptr<Database> m_db =
        std::make_shared<Database>(); // read only; undo opens the database for writing on its own
    std::vector<Conversion> m_log;
    std::optional<qint64> m_seenVersion; // the database's data version when last read, where it has one
};

} // namespace zefto::ui
