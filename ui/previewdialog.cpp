#include "previewdialog.h"

#include "boxes.h"
#include "dryrun.h"
#include "engine.h"
#include "error.h"
#include "mahalle.h"
#include "recordtablemodel.h"
#include "reportreader.h"
#include "reporttext.h"
#include "scratchstore.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTextBlock>
#include <QVBoxLayout>

namespace zefto::ui {

PreviewDialog::PreviewDialog(const QString &database, const QString &reportPath, QWidget *parent)
    : QDialog(parent), m_database(database), m_report(QFileInfo(reportPath).absoluteFilePath())
{
    setWindowTitle(tr("Preview of %1").arg(QFileInfo(reportPath).fileName()));
    setAccessibleName(windowTitle());

    auto *reportLabel = new QLabel(QDir::toNativeSeparators(m_report));
    reportLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    neighbourhood = new QLineEdit;
    neighbourhood->setAccessibleName(tr("Neighbourhood"));
    neighbourhood->setToolTip(tr("The neighbourhood every record of this report gets; for this report only."));
    try {
        neighbourhood->setText(mahalle::chosen(std::nullopt));
    } catch (const Error &) {
        neighbourhood->setText(qEnvironmentVariable(mahalle::environmentVariable)); // blank: the preview says why
    }
    auto *form = new QFormLayout;
    form->addRow(tr("Report:"), reportLabel);
    form->addRow(tr("Neighbourhood:"), neighbourhood);

    model = new RecordTableModel(this);
    records = new QTableView;
    records->setModel(model);
    records->setAccessibleName(tr("Records"));
    records->setSelectionBehavior(QAbstractItemView::SelectRows);
    records->setWordWrap(false);
    records->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    records->verticalHeader()->setDefaultSectionSize(records->fontMetrics().height() + 6);
    report = new QPlainTextEdit;
    report->setReadOnly(true);
    report->setLineWrapMode(QPlainTextEdit::NoWrap);
    report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    report->setAccessibleName(tr("Report"));
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(records);
    split->addWidget(report);

    message = new QLabel;
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setAccessibleName(tr("Message"));
    progress = new QProgressBar;
    progress->setAccessibleName(tr("Progress"));
    progress->hide();

    auto *buttons = new QDialogButtonBox;
    convertButton = buttons->addButton(tr("Convert"), QDialogButtonBox::AcceptRole);
    closeButton = buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
    convertButton->setAccessibleName(convertButton->text());
    closeButton->setAccessibleName(closeButton->text());
    convertButton->setAutoDefault(false);
    closeButton->setDefault(true);
    connect(convertButton, &QPushButton::clicked, this, &PreviewDialog::convert);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(neighbourhood, &QLineEdit::editingFinished, this, [this] {
        if (m_dry && neighbourhood->isModified()) {
            neighbourhood->setModified(false);
            preview();
        }
    });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(split, 1);
    layout->addWidget(message);
    layout->addWidget(progress);
    layout->addWidget(buttons);
    resize(900, 640);
    showReportText();
}

PreviewDialog::~PreviewDialog() = default;

std::optional<QString> PreviewDialog::chosenMahalle()
{
    try {
        return mahalle::chosen(neighbourhood->text());
    } catch (const Error &e) {
        message->setText(e.description());
        return std::nullopt;
    }
}

void PreviewDialog::showReportText()
{
    // The lines as the engine reads and counts them, so the stopping line is the one highlighted.
    QStringList lines;
    try {
        ReportReader reader;
        reader.open(m_report);
        while (!reader.atEnd())
            lines << asPrinted(reader.readLine());
    } catch (const Error &e) {
        lines = {e.description()};
    }
    report->setPlainText(lines.join(u'\n'));
}

void PreviewDialog::highlight(int line)
{
    m_highlighted = line;
    QList<QTextEdit::ExtraSelection> marks;
    const QTextBlock block = report->document()->findBlockByNumber(line - 1);
    if (line > 0 && block.isValid()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.format.setBackground(QColor(255, 226, 140));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks << mark;
        report->setTextCursor(QTextCursor(block));
        report->centerCursor();
    }
    report->setExtraSelections(marks);
}

void PreviewDialog::preview()
{
    const std::optional<QString> mahalle = chosenMahalle();
    if (!mahalle)
        return;
    m_said.clear();
    records::DryRun run;
    try {
        run = records::dryRun(*this, records::readDryTarget(m_database), *mahalle, std::nullopt);
    } catch (const Error &e) {
        message->setText(tr("The report cannot be previewed.\n\n%1").arg(e.description()));
        return;
    }
    m_dry = run.outcome;
    auto kept = std::make_shared<ScratchStore>(m_database, run.columns, std::nullopt);
    for (const Record &r : run.records)
        kept->append(r, std::vector<bool>(r.size(), true));
    auto shown = std::make_shared<Database>();
    shown->attach(kept);
    model->setDatabase(shown);
    records->resizeColumnsToContents();
    message->setText(dryText(run));
    highlight(m_dry->stoppedAtLine);
}

QString PreviewDialog::dryText(const records::DryRun &run) const
{
    const RunOutcome &o = run.outcome;
    const bool literal = o.end == RunOutcome::End::Converted || o.end == RunOutcome::End::InvalidFile;
    // The run's own word is quoted after the count; any other end already says what would be stored.
    QString text =
        !literal
            ? m_said
            : (o.recordsStored == 1
                   ? tr("Converting would store 1 record and end with:")
                   : tr("Converting would store %1 records and end with:").arg(QLocale().toString(o.recordsStored)))
                  + u'\n' + m_said;
    if (run.earlier)
        text += QStringLiteral("\n\n")
                + tr("These bytes were converted before: conversion %1 on %2 stored %3 records. Convert asks "
                     "before storing them again.")
                      .arg(run.earlier->id)
                      .arg(conversionlog::shownTime(run.earlier->startedAt), QLocale().toString(run.earlier->records));
    return text;
}

void PreviewDialog::convert()
{
    const std::optional<QString> mahalle = chosenMahalle();
    if (!mahalle)
        return;
    m_said.clear();
    convertButton->setEnabled(false);
    closeButton->setEnabled(false);
    {
        Engine engine(*this);
        engine.mahalle = *mahalle;
        try {
            engine.useDatabase(m_database);
            m_real = engine.Command1_Click();
        } catch (const Error &e) {
            m_said = e.description();
            m_real.reset();
        }
    }
    closeButton->setEnabled(true);
    const bool stored = m_real && m_real->recordsStored > 0;
    // Once stored, a second click would only meet the guard.
    convertButton->setEnabled(!stored);
    message->setText(realText(stored));
    if (m_real)
        highlight(m_real->stoppedAtLine);
    if (stored)
        emit recordsStored();
}

QString PreviewDialog::realText(bool stored) const
{
    if (stored)
        return tr("Converted into the database; the run ended with:") + u'\n' + m_said;
    // A run the guard's question stopped shows no box: say what happened instead of nothing.
    if (m_real && m_real->end == RunOutcome::End::Duplicate)
        return tr("Not converted again; nothing was stored.");
    return m_said.isEmpty() ? tr("Nothing was stored.") : tr("The run ended with:") + u'\n' + m_said;
}

void PreviewDialog::setProgressVisible(bool on)
{
    // A new run starts from an empty bar, not where the last one stood.
    if (on)
        progress->setValue(progress->minimum());
    progress->setVisible(on);
}

void PreviewDialog::setProgressMin(float v)
{
    progress->setMinimum(int(v));
}

void PreviewDialog::setProgressMax(float v)
{
    progress->setMaximum(int(v));
}

void PreviewDialog::setProgressValue(float v)
{
    progress->setValue(int(v));
    keepAlive();
}

void PreviewDialog::msgBox(const QString &prompt, MessageIcon)
{
    m_said = prompt;
}

void PreviewDialog::showWaiting(const QString &text)
{
    if (!text.isEmpty())
        message->setText(text);
}

void PreviewDialog::keepAlive()
{
    // Often enough to paint the progress, seldom enough not to slow the run.
    if (m_sincePaint.isValid() && m_sincePaint.elapsed() < 50)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_sincePaint.restart();
}

bool PreviewDialog::askConvertAgain(const QString &question)
{
    // Nothing moves while the question is open: no bar standing at a stale value.
    progress->hide();
    return ui::askConvertAgain(this, question);
}

} // namespace zefto::ui
