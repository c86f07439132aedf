#include "engine.h"
#include "error.h"
#include "layout.h"

#include <QFileInfo>
#include <optional>

namespace zefto {
namespace {

const QString converted = QStringLiteral("Converted");
const QString invalidFile = QStringLiteral(" Invalid file ");

QString fullPath(const QString &path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

QString records(qint64 n)
{
    return n == 1 ? QStringLiteral("1 record was stored") : QStringLiteral("%1 records were stored").arg(n);
}

} // namespace

void Engine::openDatabase(const QString &name)
{
    m_databasePath = QFileInfo(name).absoluteFilePath();
    db.open(m_databasePath);
}

// A run needs the database the window opened at load; after a run closed
// it, the same file is opened again by the path resolved then.
bool Engine::ensureDatabase(RunOutcome &outcome)
{
    if (db.isOpen())
        return true;
    try {
        if (m_databasePath.isEmpty())
            throw Error(err::CannotOpen, QStringLiteral("No database has been opened."));
        db.open(m_databasePath);
        return true;
    } catch (const Error &e) {
        outcome.errorNumber = e.number();
        outcome.errorDescription = e.description();
        return false;
    }
}

RunOutcome Engine::Command1_Click()
{
    RunOutcome outcome;
    stt = 0;
    stir = 0;
    validity = 0;
    m_window.setProgressVisible(true);
    m_window.setCommand3Enabled(false);

    // Nothing is written unless the report and the database can both be used.
    const QString path = m_window.text1();
    outcome.reportPath = fullPath(path);
    outcome.end = RunOutcome::End::NotStarted;
    bool usable = ensureDatabase(outcome);
    if (usable) {
        try {
            const int lines = ReportReader::countLines(path);
            if (lines == 0)
                throw Error(err::InputPastEnd, QStringLiteral("The report '%1' is empty.").arg(fullPath(path)));
            stir = qint16(lines);
        } catch (const Error &e) {
            outcome.errorNumber = e.number();
            outcome.errorDescription = e.description();
            usable = false;
        }
    }
    if (!usable) {
        outcome.message = QStringLiteral("Nothing was converted.\n\n%1").arg(outcome.errorDescription);
        m_window.msgBox(outcome.message, MessageIcon::Critical);
        m_window.setProgressVisible(false);
        m_window.setCommand1Enabled(true);
        m_window.setCommand3Enabled(true);
        return outcome;
    }
    m_window.setProgressMin(0);
    m_window.setProgressMax(float(stir));
    outcome.linesInReport = stir;

    // From here every failure ends the run in finish().
    const qint64 storedBefore = db.recordsStored();
    std::optional<Error> failure;
    try {
        m_window.setCommand1Enabled(false);
        kayit = db.openRecordset(QStringLiteral("ovrekson"));
        const QString again = m_window.text1();
        outcome.reportPath = fullPath(again);
        report.open(again);
        for (int i = 0; i < layout::headerLines + 1; ++i)
            readLine();
        tabloici();
        while (!report.atEnd()) {
            for (int i = 0; i < layout::gapLines; ++i)
                readLine();
            tabloici();
        }
    } catch (const Error &e) {
        failure = e;
    }
    outcome.errorNumber = failure ? failure->number() : 0;
    outcome.errorDescription = failure ? failure->description() : QString();
    outcome.linesRead = stt;
    outcome.stoppedAtLine = stt;

    // A 3315 before the report's later data lines is not the end of the table.
    if (outcome.errorNumber == err::ZeroLengthString)
        outcome.unconvertedDataLines = laterDataLines();

    // Whatever the end: the report closes, a pending record is dropped, stored records are committed.
    report.close();
    try {
        if (kayit.isOpen())
            kayit.close();
        if (db.isOpen())
            db.commit();
    } catch (const Error &e) {
        if (!failure || failure->number() == err::ZeroLengthString) {
            outcome.errorNumber = e.number();
            outcome.errorDescription = e.description();
            outcome.unconvertedDataLines = 0;
        }
    }
    outcome.recordsStored = db.recordsStored() - storedBefore;
    finish(outcome);
    return outcome;
}

void Engine::finish(RunOutcome &o)
{
    const bool tableEnded = o.errorNumber == err::ZeroLengthString || o.errorNumber == 0;
    if (tableEnded && o.unconvertedDataLines > 0) {
        o.end = RunOutcome::End::Incomplete;
        o.message = QStringLiteral("The conversion stopped at line %1 of '%2': a required column is empty (%3)\n"
                                   "%4; %5 later data line(s) of the report were not converted.")
                        .arg(o.stoppedAtLine)
                        .arg(o.reportPath, o.errorDescription, records(o.recordsStored))
                        .arg(o.unconvertedDataLines);
        m_window.msgBox(o.message, MessageIcon::Warning);
    } else if (tableEnded) {
        o.end = validity != 0 ? RunOutcome::End::Converted : RunOutcome::End::InvalidFile;
        o.message = validity != 0 ? converted : invalidFile;
        m_window.msgBox(o.message, validity != 0 ? MessageIcon::Information : MessageIcon::None);
        if (validity != 0) {
            try {
                db.close();
            } catch (const Error &) {
                // Its records were committed above; closing has nothing left to lose.
            }
            stt = 0;
        }
    } else {
        o.end = RunOutcome::End::Failed;
        o.message = QStringLiteral("Error %1: %2\n\nReport: %3\nThe conversion stopped at line %4; %5.")
                        .arg(o.errorNumber)
                        .arg(o.errorDescription, o.reportPath)
                        .arg(o.stoppedAtLine)
                        .arg(records(o.recordsStored));
        m_window.msgBox(o.message, MessageIcon::Critical);
    }
    m_window.setProgressVisible(false);
    m_window.setCommand1Enabled(true);
    m_window.setCommand3Enabled(true);
}

// Lines after the current one that stand in a data block and would have
// been stored: full length, and neither a rule nor a signature row.
int Engine::laterDataLines()
{
    int count = 0;
    int line = stt;
    try {
        while (report.isOpen() && !report.atEnd()) {
            const QString text = report.readLine();
            ++line;
            if (!layout::inDataBlock(line) || text.size() < layout::fullLineLength)
                continue;
            const auto kind = layout::classify(layout::cut(text, layout::columns[layout::OwnerName]));
            if (kind != layout::RowKind::Rule && kind != layout::RowKind::Signature)
                ++count;
        }
    } catch (const Error &) {
        // A report that cannot be read further has nothing more to count.
    }
    return count;
}

} // namespace zefto
