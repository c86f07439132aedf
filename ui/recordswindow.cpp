#include "recordswindow.h"

#include "boxes.h"
#include "checkview.h"
#include "chosen.h"
#include "drytarget.h"
#include "error.h"
#include "export.h"
#include "location.h"
#include "previewdialog.h"
#include "recordscopy.h"
#include "recordsgrid.h"
#include "recordtablemodel.h"
#include "undo.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace zefto::ui {
namespace {

// The list item of "every record" holds no conversion id.
constexpr qint64 everyRecord = 0;

QString reportName(const Conversion &c)
{
    return QFileInfo(c.reportPath).fileName();
}

// A time of the log in the session's own date format; the log keeps UTC.
QString shownTime(const QString &isoUtc)
{
    const QDateTime t = QDateTime::fromString(isoUtc, Qt::ISODate);
    return t.isValid() ? QLocale().toString(t.toLocalTime(), QLocale::ShortFormat) : isoUtc;
}

// Whether two readings of the log tell the same: no conversion added, none undone since.
bool sameLog(const std::vector<Conversion> &a, const std::vector<Conversion> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Conversion &x, const Conversion &y) {
        return x.id == y.id && x.undoneAt == y.undoneAt;
    });
}

// A wait cursor for as long as the window reads or writes many records.
struct Busy {
    Busy() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Busy() { QApplication::restoreOverrideCursor(); }
};

} // namespace

RecordsWindow::RecordsWindow(const QString &database, QWidget *parent) : QMainWindow(parent), m_name(database)
{
    chooseExportFile = [](QWidget *w, const QString &suggested) {
        return QFileDialog::getSaveFileName(w, tr("Export records"), suggested,
                                            tr("CSV file (*.csv);;Excel workbook (*.xlsx)"));
    };
    chooseReport = [](QWidget *w) {
        return QFileDialog::getOpenFileName(w, tr("Preview report"), QString(),
                                            tr("Reports (*.txt *.TXT *.prn *.PRN);;All files (*)"));
    };
    layOut();
    reload();
    // Columns as wide as the first rows need: measuring every row would read them all.
    table->resizeColumnsToContents();
}

RecordsWindow::~RecordsWindow()
{
    // The database closes with the window, not when the views let go of the model.
    model->setDatabase(nullptr);
}

QString RecordsWindow::chosenDatabase()
{
    try {
        return location::resolved(location::chosen(std::nullopt));
    } catch (const Error &) {
        return location::chosen(std::nullopt); // the window says why it cannot open it
    }
}

RecordsWindow *RecordsWindow::openOn(QWidget *parent, const QString &database, std::optional<qint64> conversionId)
{
    auto *w = new RecordsWindow(database, parent);
    w->setWindowFlag(Qt::Window);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->showConversion(conversionId);
    w->show();
    return w;
}

void RecordsWindow::layOut()
{
    setWindowTitle(tr("Zefto Records"));
    setAccessibleName(windowTitle());

    conversions = new QListWidget;
    conversions->setAccessibleName(tr("Conversions"));
    conversions->setToolTip(tr("Pick a conversion to see only its records."));
    conversions->setSpacing(3);
    conversions->setAlternatingRowColors(true);
    conversions->setTextElideMode(Qt::ElideMiddle);
    conversions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // else entries scroll instead of eliding
    auto *logLabel = new QLabel(tr("&Conversions"));
    logLabel->setBuddy(conversions);
    undoButton = new QPushButton(tr("&Undo conversion…"));
    undoButton->setAccessibleName(tr("Undo conversion…"));
    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(logLabel);
    leftLayout->addWidget(conversions, 1);
    leftLayout->addWidget(undoButton);

    filter = new QLineEdit;
    filter->setAccessibleName(tr("Filter"));
    filter->setPlaceholderText(tr("Owner, surname, father's name, block, parcel or neighbourhood"));
    filter->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(tr("&Filter:"));
    filterLabel->setBuddy(filter);
    model = new RecordTableModel(this);
    table = new RecordsGrid;
    table->setModel(model);
    table->setAccessibleName(tr("Records"));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    // Fixed row heights: the view never measures a million rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->verticalHeader()->setResizeContentsPrecision(200);
    table->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter, 1);
    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addLayout(filterRow);
    rightLayout->addWidget(table, 1);

    auto *split = new QSplitter;
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({300, 900});

    placeButtons(split);
    connectActions();
}

void RecordsWindow::placeButtons(QWidget *split)
{
    previewButton = new QPushButton(tr("&Preview report…"));
    previewButton->setAccessibleName(tr("Preview report…"));
    exportButton = new QPushButton(tr("&Export…"));
    exportButton->setAccessibleName(tr("Export…"));
    closeButton = new QPushButton(tr("Close"));
    closeButton->setAccessibleName(tr("Close"));
    refreshButton = new QPushButton(tr("&Refresh"));
    refreshButton->setAccessibleName(tr("Refresh"));
    refreshButton->setToolTip(tr("Reads the count, the records in view and the conversions again (F5)."));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(previewButton);
    buttons->addWidget(exportButton);
    buttons->addWidget(refreshButton);
    checkButton = new QPushButton(tr("Chec&k…"));
    checkButton->setAccessibleName(tr("Check…"));
    buttons->addWidget(checkButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    setCentralWidget(central);

    count = new QLabel;
    // A name would hide the count itself from a screen reader, which reads a label by its text.
    count->setAccessibleDescription(tr("Record count"));
    searching = new QLabel(tr("Searching…"));
    searching->hide();
    statusBar()->addPermanentWidget(searching);
    statusBar()->addPermanentWidget(count);
    // As large as is useful, but never past the screen: the filter and the count must stay in sight.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1200, 700);
    resize(std::min(1200, screen.width() * 9 / 10), std::min(700, screen.height() * 85 / 100));
}

void RecordsWindow::connectActions()
{
    connect(conversions, &QListWidget::currentRowChanged, this, [this] { showSelected(); });
    connect(filter, &QLineEdit::textChanged, this, [this] { showSelected(); });
    connect(model, &RecordTableModel::countsChanged, this, &RecordsWindow::updateCount);
    connect(model, &RecordTableModel::failed, this, &RecordsWindow::problem);
    connect(undoButton, &QPushButton::clicked, this, &RecordsWindow::undoConversion);
    connect(exportButton, &QPushButton::clicked, this, &RecordsWindow::exportRecords);
    connect(previewButton, &QPushButton::clicked, this, [this] { previewReport(); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(refreshButton, &QPushButton::clicked, this, &RecordsWindow::refresh);
    connect(new QShortcut(QKeySequence::Refresh, this), &QShortcut::activated, this, &RecordsWindow::refresh);
    connect(table, &RecordsGrid::exportSelectionRequested, this, &RecordsWindow::exportSelection);
    connect(table, &RecordsGrid::showConversionRequested, this,
            [this](int row) { showConversionOfKey(model->keyAt(row)); });
    // Another program's commit shows within two seconds, without a click.
    watch = new QTimer(this);
    watch->setInterval(watchIntervalMs);
    connect(watch, &QTimer::timeout, this, &RecordsWindow::noticeChanges);
    watch->start();
    connect(checkButton, &QPushButton::clicked, this, [this] { CheckView::openOn(this, *m_db, *model, *table); });
}

void RecordsWindow::openDatabase()
{
    m_db->close();
    m_db->setReadOnly(true);
    if (records::notCreatedYet(m_name)) {
        problem(tr("No conversion has been made in %1 yet.")
                    .arg(QDir::toNativeSeparators(QFileInfo(m_name).absolutePath())));
        model->setDatabase(nullptr);
        return;
    }
    try {
        m_db->open(m_name, Missing::Refuse);
    } catch (const Error &e) {
        problem(e.description());
        model->setDatabase(nullptr);
        return;
    }
    model->setDatabase(m_db);
}

void RecordsWindow::fillLog()
{
    const std::optional<qint64> wanted = shownConversion();
    QSignalBlocker quiet(conversions);
    conversions->clear();
    m_log.clear();
    try {
        if (m_db->isOpen())
            m_log = m_db->conversions();
    } catch (const Error &e) {
        problem(e.description());
    }
    auto *all = new QListWidgetItem(tr("All records"), conversions);
    all->setData(Qt::UserRole, everyRecord);
    const QLocale locale;
    // Newest first: the conversion just made is the one looked for.
    for (auto c = m_log.rbegin(); c != m_log.rend(); ++c) {
        QString text = tr("%1  %2  %3\n%4 records")
                           .arg(c->id)
                           .arg(shownTime(c->startedAt), reportName(*c), locale.toString(c->records));
        if (c->undone())
            text += tr(", undone %1 by %2").arg(shownTime(c->undoneAt), c->undoneBy);
        auto *item = new QListWidgetItem(text, conversions);
        item->setData(Qt::UserRole, c->id);
        // The list elides a long entry in the middle; its tooltip has it whole.
        QString tip = text + QStringLiteral("\n\n")
                      + tr("%1\nby %2@%3, neighbourhood %4\n%5")
                            .arg(QDir::toNativeSeparators(c->reportPath), c->user, c->host, c->mahalle, c->outcome);
        if (!c->role.isEmpty())
            tip += u'\n' + tr("server role: %1").arg(c->role);
        item->setToolTip(tip);
        if (c->undone())
            item->setForeground(QColor(Qt::gray));
    }
    int row = 0;
    for (int i = 0; wanted && i < conversions->count(); ++i)
        if (conversions->item(i)->data(Qt::UserRole).toLongLong() == *wanted)
            row = i;
    conversions->setCurrentRow(row);
}

std::optional<qint64> RecordsWindow::shownConversion() const
{
    const QListWidgetItem *item = conversions->currentItem();
    const qint64 id = item ? item->data(Qt::UserRole).toLongLong() : everyRecord;
    return id == everyRecord ? std::nullopt : std::optional(id);
}

void RecordsWindow::showConversion(std::optional<qint64> id)
{
    for (int i = 0; i < conversions->count(); ++i)
        if (conversions->item(i)->data(Qt::UserRole).toLongLong() == id.value_or(everyRecord))
            conversions->setCurrentRow(i);
}

void RecordsWindow::showSelected()
{
    const std::optional<qint64> id = shownConversion();
    const auto c = std::find_if(m_log.begin(), m_log.end(), [&](const Conversion &e) { return id && e.id == *id; });
    KeyRange keys = records::allKeys;
    if (c != m_log.end() && c->undone()) {
        keys = {0, 0};
        statusBar()->showMessage(tr("Conversion %1 of '%2' was undone on %3 by %4; it has no records.")
                                     .arg(c->id)
                                     .arg(location::shown(m_name), shownTime(c->undoneAt), c->undoneBy));
    } else if (c != m_log.end()) {
        try {
            keys = records::keysOf(*c, location::shown(m_name));
        } catch (const records::Refusal &r) {
            keys = {0, 0};
            statusBar()->showMessage(r.why);
        }
    }
    undoButton->setEnabled(c != m_log.end() && !c->undone());
    model->show(keys, filter->text());
}

void RecordsWindow::reload()
{
    if (!m_db->isOpen())
        openDatabase();
    try {
        // Taken before reading: a commit while reading is noticed at the next look.
        m_seenVersion = m_db->isOpen() ? m_db->dataVersion() : std::nullopt;
    } catch (const Error &) {
        m_seenVersion.reset();
    }
    fillLog();
    showSelected();
}

void RecordsWindow::refresh()
{
    // In stored order the rows read again keep their places: new records come after them.
    const int scroll = table->verticalScrollBar()->value();
    const int across = table->horizontalScrollBar()->value();
    const SelectionSpans selected = SelectionSpans::of(table->selectionModel()->selection());
    const QModelIndex current = table->currentIndex();
    const int currentRow = current.row(), currentColumn = current.column();
    // Sorted, new records land among them: the selection and the top row follow their records.
    const std::optional<KeptRecords> kept = model->sorted() ? keepRecords(selected, currentRow) : std::nullopt;
    const bool wasOpen = m_db->isOpen();
    reload();
    if (!wasOpen && m_db->isOpen())
        statusBar()->clearMessage();
    if (kept) {
        followRecords(*kept, currentColumn);
    } else {
        if (currentRow >= 0 && currentRow < model->rowCount())
            table->selectionModel()->setCurrentIndex(model->index(currentRow, currentColumn),
                                                     QItemSelectionModel::NoUpdate);
        table->selectionModel()->select(selected.in(*model), QItemSelectionModel::ClearAndSelect);
        table->verticalScrollBar()->setValue(scroll);
    }
    table->horizontalScrollBar()->setValue(across);
}

std::optional<RecordsWindow::KeptRecords> RecordsWindow::keepRecords(const SelectionSpans &selected, int currentRow)
{
    KeptRecords kept;
    // The rows' keys are read from the database: a selection of a great many rows keeps its places instead.
    for (const SelectionSpans::Span &s : selected.spans) {
        if (qint64(kept.cells.size()) + s.bottom - s.top + 1 > KeptRecords::maxRows)
            return std::nullopt;
        for (int r = s.top; r <= s.bottom; ++r)
            kept.cells.push_back({model->keyAt(r), s.left, s.right});
    }
    kept.top = model->keyAt(table->rowAt(0));
    kept.current = model->keyAt(currentRow);
    return kept;
}

void RecordsWindow::followRecords(const KeptRecords &kept, int currentColumn)
{
    std::vector<qint64> keys{kept.top, kept.current};
    for (const auto &c : kept.cells)
        keys.push_back(c.key);
    const std::vector<qint64> rows = model->rowsOfKeys(keys);
    if (rows[1] >= 0)
        table->selectionModel()->setCurrentIndex(model->index(int(rows[1]), currentColumn),
                                                 QItemSelectionModel::NoUpdate);
    QItemSelection selection;
    for (size_t i = 0; i < kept.cells.size(); ++i)
        if (const qint64 r = rows[i + 2]; r >= 0)
            selection.select(model->index(int(r), kept.cells[i].left), model->index(int(r), kept.cells[i].right));
    table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (rows[0] >= 0)
        table->scrollTo(model->index(int(rows[0]), 0), QAbstractItemView::PositionAtTop);
}

void RecordsWindow::noticeChanges()
{
    if (!m_db->isOpen()) {
        if (!records::notCreatedYet(m_name))
            refresh();
        return;
    }
    try {
        // The file's data version costs nothing to read; a server's log is compared instead.
        if (const std::optional<qint64> version = m_db->dataVersion(); version ? version == m_seenVersion
                                                                               : sameLog(m_db->conversions(), m_log))
            return;
    } catch (const Error &) {
        return; // the next look, or the user's refresh, says what is wrong
    }
    refresh();
}

void RecordsWindow::showConversionOfKey(qint64 key)
{
    for (const Conversion &c : m_log)
        if (!c.undone() && c.firstKey <= key && key <= c.lastKey && key > 0) {
            showConversion(c.id);
            return;
        }
    statusBar()->showMessage(tr("Record %1 comes from no conversion in the log.").arg(key));
}

void RecordsWindow::exportSelection()
{
    // The selected rows top to bottom, as they are shown: sorted, filtered or in key order.
    std::vector<std::pair<int, int>> blocks;
    for (const QItemSelectionRange &r : table->selectionModel()->selection())
        blocks.emplace_back(r.top(), r.bottom());
    std::sort(blocks.begin(), blocks.end());
    std::vector<KeyRange> ranges;
    int below = 0; // rows above this one are taken already (selections may overlap)
    try {
        for (const auto &[top, bottom] : blocks) {
            const std::vector<KeyRange> keys = model->keysOfRows(std::max(top, below), bottom);
            ranges.insert(ranges.end(), keys.begin(), keys.end());
            below = std::max(below, bottom + 1);
        }
    } catch (const Error &e) {
        QMessageBox::critical(this, tr("Export records"), e.description());
        return;
    }
    if (ranges.empty())
        return;
    exportTo(QStringLiteral("selection.csv"), [&](const QString &path, const std::optional<QString> &text) {
        return records::exportRecords(*m_db, path, ranges, text);
    });
}

void RecordsWindow::updateCount()
{
    count->setText(model->countText());
    searching->setVisible(model->filtering());
}

void RecordsWindow::problem(const QString &text)
{
    statusBar()->showMessage(text);
}

void RecordsWindow::undoConversion()
{
    const std::optional<qint64> id = shownConversion();
    const auto c = std::find_if(m_log.begin(), m_log.end(), [&](const Conversion &e) { return id && e.id == *id; });
    if (c == m_log.end() || c->undone())
        return;
    QMessageBox ask(QMessageBox::Question, tr("Undo conversion"),
                    tr("Remove the %1 records of conversion %2, the report '%3' converted on %4?\n\n"
                       "The log keeps the conversion, marked undone.")
                        .arg(QLocale().toString(c->records))
                        .arg(c->id)
                        .arg(reportName(*c), conversionlog::shownTime(c->startedAt)),
                    QMessageBox::NoButton, this);
    const QPushButton *remove = ask.addButton(tr("Undo conversion"), QMessageBox::DestructiveRole);
    addCancel(ask);
    ask.exec();
    if (ask.clickedButton() != remove)
        return;
    try {
        Busy busy;
        Database writable;
        writable.open(m_name, Missing::Refuse);
        const qint64 removed = records::undoConversion(writable, c->id);
        writable.close();
        statusBar()->showMessage(
            tr("Conversion %1 undone: %2 records removed.").arg(*id).arg(QLocale().toString(removed)));
    } catch (const Error &e) {
        QMessageBox::critical(this, tr("Undo conversion"), e.description());
    }
    reload();
}

void RecordsWindow::exportRecords()
{
    const std::optional<qint64> id = shownConversion();
    const KeyRange keys = model->pager() ? model->pager()->keys() : records::allKeys;
    exportTo(id ? QStringLiteral("conversion-%1.csv").arg(*id) : QStringLiteral("ovrekson.csv"),
             [&](const QString &path, const std::optional<QString> &text) {
                 return records::exportRecords(*m_db, path, keys, text);
             });
}

void RecordsWindow::exportTo(const QString &suggested, const Exporter &write)
{
    QString path = chooseExportFile(this, QDir::current().filePath(suggested));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    if (!records::exportable(path)) {
        QMessageBox::critical(this, tr("Export records"), tr("Records are exported to a .csv or an .xlsx file."));
        return;
    }
    const QString text = filter->text().trimmed();
    try {
        Busy busy;
        const records::Exported done = write(path, text.isEmpty() ? std::nullopt : std::optional(text));
        statusBar()->showMessage(
            tr("%1 records written to %2").arg(QLocale().toString(done.records), QDir::toNativeSeparators(path)));
        if (done.replacedCharacters > 0)
            QMessageBox::warning(
                this, tr("Export records"),
                tr("%1 control characters a sheet cannot hold were written as U+FFFD.").arg(done.replacedCharacters));
    } catch (const records::Refusal &r) {
        QMessageBox::critical(this, tr("Export records"), r.why);
    } catch (const Error &e) {
        QMessageBox::critical(this, tr("Export records"), e.description());
    }
}

PreviewDialog *RecordsWindow::previewReport()
{
    const QString path = chooseReport(this);
    return path.isEmpty() ? nullptr : preview(path);
}

PreviewDialog *RecordsWindow::preview(const QString &reportPath)
{
    auto *dialog = new PreviewDialog(m_name, reportPath, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &PreviewDialog::recordsStored, this, &RecordsWindow::reload);
    dialog->show();
    dialog->preview();
    return dialog;
}

} // namespace zefto::ui
