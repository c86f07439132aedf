#include "engine.h"
#include "error.h"
#include "layout.h"
#include "location.h"
#include "mahalle.h"
#include "reportcheck.h"
#include "schema.h"
#include "sha256.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <new>
#include <tuple>
#include <utility>

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

QString earlierConversion(const Conversion &earlier)
{
    return QStringLiteral("on %1 by %2: %3 record%4 (%5)")
        .arg(conversionlog::shownTime(earlier.startedAt), earlier.user)
        .arg(earlier.records)
        .arg(earlier.records == 1 ? QString() : QStringLiteral("s"), earlier.outcome.trimmed());
}

} // namespace

// Sha256 uses the processor's SHA instructions: several times faster than
// Qt's, whose hashing took a quarter of a run's instructions.
std::pair<QString, qint64> Engine::fingerprint(const QString &path)
{
    QFile f(path);
    const auto unreadable = [&] {
        return Error(err::DeviceIo,
                     QStringLiteral("The report '%1' could not be read: %2.").arg(fullPath(path), f.errorString()));
    };
    if (!f.open(QIODevice::ReadOnly))
        throw unreadable();
    Sha256 digest;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 size = 0;
    for (qint64 n; (n = f.read(buffer.data(), buffer.size())) != 0; size += n) {
        if (n < 0)
            throw unreadable();
        digest.add(buffer.constData(), n);
    }
    return {digest.hex(), size};
}

QString Engine::duplicateMessage(const QString &reportPath, const Conversion &earlier, const QString &database)
{
    return QStringLiteral(
               "%1 was already converted %2 as conversion %3 of %4; nothing was stored. "
               "--again converts it anyway.")
        .arg(reportPath, earlierConversion(earlier))
        .arg(earlier.id)
        .arg(database);
}

Engine::Engine(WindowPort &window) : mahalle(mahalle::defaultName), m_window(window)
{}

void Engine::openDatabase(const QString &name)
{
    useDatabase(name);
    db.open(m_databasePath, Database::Missing::Create);
    m_databaseOpened = true;
}

void Engine::useDatabase(const QString &name)
{
    m_databasePath = location::resolved(name);
    m_databaseOpened = false;
}

// A run needs the database the window opened at load; after a run closed
// it, or when the file at its path was replaced, the file now at that path
// is opened. A file that was once opened and has vanished is not made anew.
void Engine::ensureDatabase(Database::Missing missing)
{
    if (db.isOpen() && db.stillNamesItsFile())
        return;
    db.close();
    m_tableUnmade = false;
    if (m_databasePath.isEmpty())
        throw Error(err::CannotOpen, QStringLiteral("No database has been opened."));
    db.open(m_databasePath, m_databaseOpened ? Database::Missing::Refuse : missing);
    m_tableUnmade = !m_databaseOpened && missing == Database::Missing::CreateForRun;
    m_databaseOpened = true;
}

// Memory can run out anywhere; the run then ends like any failed one.
RunOutcome Engine::Command1_Click()
{
    m_committed = false;
    try {
        return run();
    } catch (const std::bad_alloc &) {
        db.rollbackRun();
        report.close();
        RunOutcome o;
        o.end = RunOutcome::End::Failed;
        o.reportPath = fullPath(m_window.text1());
        o.errorNumber = err::OutOfMemory;
        o.errorDescription = QStringLiteral("Out of memory.");
        o.recordsStored = m_committed ? db.recordsStored() - m_storedBefore : 0;
        o.message = QStringLiteral("Error %1: %2\n\nReport: %3\n%4.")
                        .arg(o.errorNumber)
                        .arg(o.errorDescription, o.reportPath,
                             m_committed ? records(o.recordsStored) : QStringLiteral("Nothing of it was stored"));
        m_window.endBox(o, MessageIcon::Critical);
        restoreWindow();
        return o;
    }
}

RunOutcome Engine::run()
{
    RunOutcome outcome;
    m_watched.reset();
    stt = 0;
    stir = 0;
    validity = 0;
    m_window.setProgressVisible(true);
    m_window.setCommand3Enabled(false);

    const QString path = m_window.text1();
    outcome.reportPath = fullPath(path);
    outcome.database = location::shown(m_databasePath);
    if (!prepare(path, outcome))
        return notStarted(outcome);
    outcome.mahalle = mahalle;
    m_acceptedDuplicate = -1;
    std::optional<Conversion> earlier;
    try {
        earlier = db.findConversion(outcome.sha256);
    } catch (const Error &e) {
        return notStarted(outcome, e);
    }
    if (!mayConvert(earlier, outcome)) {
        restoreWindow();
        return outcome;
    }
    m_startedAt = conversionlog::nowUtc();
    m_storedBefore = db.recordsStored();
    const std::optional<Error> failure = convert(outcome);
    // Not making a new file's table, which its run does, is not opening the file: as ever, nothing began.
    // Waiting for the lock, and a file gone from its name, end a run as they did before the table moved into it.
    const bool runFailure = failure
                            && (failure->number() == err::FileInUse || failure->number() == err::Interrupted
                                || failure->number() == err::DatabaseGone);
    if (failure && m_tableUnmade && !runFailure) {
        outcome.linesInReport = 0;
        return notStarted(outcome, *failure);
    }
    if (outcome.end == RunOutcome::End::Duplicate) {
        report.close();
        restoreWindow();
        return outcome;
    }
    settle(outcome, failure);
    outcome.recordsStored = db.recordsStored() - m_storedBefore;
    // The log and undo name a run's records by their first and last key alone.
    Q_ASSERT(outcome.firstKey == 0 || outcome.lastKey - outcome.firstKey + 1 == outcome.recordsStored);
    finish(outcome);
    return outcome;
}

// The run ends before its lock: the database or the report cannot serve.
RunOutcome Engine::notStarted(RunOutcome &o, const std::optional<Error> &failure)
{
    if (failure) {
        o.errorNumber = failure->number();
        o.errorDescription = failure->description();
    }
    o.message = QStringLiteral("Nothing was converted.\n\n%1").arg(o.errorDescription);
    m_window.endBox(o, MessageIcon::Critical);
    restoreWindow();
    return o;
}

// A report converted before is converted again only when the operator says so.
bool Engine::mayConvert(const std::optional<Conversion> &earlier, RunOutcome &o)
{
    if (!earlier || earlier->id == m_acceptedDuplicate)
        return true;
    // Asked only in a window, so in the user's language; the outcome stays the run's own word.
    // On a server the role it authenticated stands beside the login the client told.
    const QString by =
        earlier->role.isEmpty()
            ? earlier->user
            : QCoreApplication::translate("zefto::Engine", "%1 (server role: %2)").arg(earlier->user, earlier->role);
    const QString question =
        earlier->records == 1
            ? QCoreApplication::translate("zefto::Engine",
                                          "This report was already converted on %1 by %2: 1 record (%3). "
                                          "Convert it again?")
                  .arg(conversionlog::shownTime(earlier->startedAt), by, earlier->outcome.trimmed())
            : QCoreApplication::translate("zefto::Engine",
                                          "This report was already converted on %1 by %2: %3 records (%4). "
                                          "Convert it again?")
                  .arg(conversionlog::shownTime(earlier->startedAt), by, QString::number(earlier->records),
                       earlier->outcome.trimmed());
    if (m_window.askConvertAgain(question)) {
        m_acceptedDuplicate = earlier->id;
        return true;
    }
    o.end = RunOutcome::End::Duplicate;
    o.earlier = earlier;
    o.message = duplicateMessage(o.reportPath, *earlier, db.path());
    return false;
}

// Nothing is written unless the report and the database can both be used.
bool Engine::prepare(const QString &path, RunOutcome &o)
{
    // A database that cannot serve is told first, unless checking it would create it.
    const bool wouldCreate = !db.isOpen() && !m_databaseOpened && !location::isServerAddress(m_databasePath)
                             && !QFileInfo::exists(m_databasePath);
    try {
        // Read as a report, the database would be damaged by its own run; it is never opened as one.
        if (reportcheck::isDatabaseFile(path, m_databasePath))
            throw Error(
                err::PathAccess,
                QStringLiteral("'%1' is the database the records are stored in, not a report.").arg(fullPath(path)));
        if (reportcheck::isNotText(path))
            throw Error(err::InvalidFileFormat,
                        QStringLiteral("'%1' does not look like a share table report.").arg(fullPath(path)));
        if (!wouldCreate)
            ensureDatabase();
        // One reading counts the lines and takes the SHA-256 for the conversion log.
        const ReportReader::Survey survey = ReportReader::survey(path);
        const int lines = survey.lines;
        if (lines == 0)
            throw Error(err::InputPastEnd, QStringLiteral("The report '%1' is empty.").arg(fullPath(path)));
        stir = qint16(lines);
        o.sha256 = survey.sha256;
        o.reportSize = survey.size;
        // The run follows at once: its transaction makes the new file's table.
        if (wouldCreate)
            ensureDatabase(Database::Missing::CreateForRun);
    } catch (const Error &e) {
        o.errorNumber = e.number();
        o.errorDescription = e.description();
        return false;
    } catch (const std::bad_alloc &) {
        o.errorNumber = err::OutOfMemory;
        o.errorDescription = QStringLiteral("Out of memory while counting the lines of '%1'.").arg(fullPath(path));
        return false;
    }
    m_window.setProgressMin(0);
    m_window.setProgressMax(float(stir));
    o.linesInReport = stir;
    return true;
}

// The conversion proper, from the write lock to the first failure (or the
// end of the file); every failure is handed back, none escapes.
std::optional<Error> Engine::convert(RunOutcome &o)
{
    bool waited = false;
    try {
        m_window.setCommand1Enabled(false);
        db.beginRun([&](bool first) {
            if (first)
                m_window.showWaiting(
                    QCoreApplication::translate("zefto::Engine", "waiting for another program to finish writing %1…")
                        .arg(db.path()));
            waited = true;
            m_window.keepAlive();
            checkInterrupt();
        });
        m_tableUnmade = false;
        if (std::exchange(waited, false))
            m_window.showWaiting(QString());
        // Asked again under the lock: another clerk may have stored the same report meanwhile.
        if (!mayConvert(db.findConversion(o.sha256), o)) {
            db.rollbackRun();
            return std::nullopt;
        }
        if (watch)
            watch->begin(db.columns());
        kayit = db.openRecordset(QLatin1String(schema::tableName));
        const QString again = m_window.text1();
        o.reportPath = fullPath(again);
        m_readDigest = std::make_unique<Sha256>();
        report.hashInto(m_readDigest.get());
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
        if (waited)
            m_window.showWaiting(QString());
        return e;
    } catch (const std::bad_alloc &) {
        return Error(err::OutOfMemory, QStringLiteral("Out of memory at line %1.").arg(stt + 1));
    }
    return std::nullopt;
}

// Ends the run's transaction before anyone is told anything: an interrupted
// run is taken back, every other end keeps the records it counts.
void Engine::settle(RunOutcome &o, const std::optional<Error> &failure)
{
    o.errorNumber = failure ? failure->number() : 0;
    o.errorDescription = failure ? failure->description() : QString();
    o.linesRead = stt;
    o.stoppedAtLine = stt;
    // A 3315 before the report's later data lines is not the end of the table.
    if (o.errorNumber == err::ZeroLengthString)
        o.unconvertedDataLines = laterDataLines();
    if (o.errorNumber == err::Interrupted) {
        report.close();
        db.rollbackRun();
        return;
    }
    if (const std::optional<Error> changed = db.inRun() ? reportChanged(o) : std::nullopt) {
        db.rollbackRun();
        o.errorNumber = changed->number();
        o.errorDescription = changed->description();
        o.unconvertedDataLines = 0;
    }
    report.close();
    report.hashInto(nullptr);

    try {
        if (kayit.isOpen())
            kayit.close();
        // A run that never began, that the database took back, or that stored nothing has nothing to log.
        if (db.inRun() && db.recordsStored() > m_storedBefore)
            logRun(o);
        db.commitRun();
        m_committed = true;
        std::tie(o.firstKey, o.lastKey) = db.runKeys();
    } catch (const Error &e) {
        // Whatever failed, the run is taken back whole: its records and its entry go together.
        db.rollbackRun();
        o.conversionId = 0;
        // The records are not where the operator will look for them: that is the news.
        o.errorNumber = e.number();
        o.errorDescription = e.description();
        o.unconvertedDataLines = 0;
    }
}

// The entry the run's transaction commits with it, its outcome as the operator will read it.
void Engine::logRun(RunOutcome &o)
{
    o.recordsStored = db.recordsStored() - m_storedBefore;
    describe(o);
    Conversion c;
    c.startedAt = m_startedAt;
    c.endedAt = conversionlog::nowUtc();
    c.user = conversionlog::userName();
    c.host = conversionlog::hostName();
    // A report read through a temporary copy (standard input) is logged by the name the operator knows.
    c.reportPath = m_window.reportName() == m_window.text1() ? o.reportPath : m_window.reportName();
    c.reportSize = o.reportSize;
    c.sha256 = o.sha256;
    c.mahalle = o.mahalle;
    c.linesInReport = o.linesInReport;
    c.linesRead = o.linesRead;
    c.outcome = o.message.section(u'\n', 0, 0);
    const bool clean = o.end == RunOutcome::End::Converted || o.end == RunOutcome::End::InvalidFile;
    c.errorNumber = clean ? 0 : o.errorNumber;
    m_watched.reset();
    if (watch) {
        const WatchedRun watched = watch->settle();
        c.shares = watched.rules;
        m_watched = watched.shares;
    }
    o.conversionId = db.logRun(c);
}

// How the run ended and what the operator is told, from what it did.
void Engine::describe(RunOutcome &o) const
{
    const bool tableEnded = o.errorNumber == err::ZeroLengthString || o.errorNumber == 0;
    if (o.errorNumber == err::Interrupted) {
        o.end = RunOutcome::End::Interrupted;
        o.message = QStringLiteral("interrupted: nothing of %1 was stored").arg(m_window.reportName());
    } else if (tableEnded && o.unconvertedDataLines > 0) {
        o.end = RunOutcome::End::Incomplete;
        o.message = QStringLiteral(
                        "The conversion stopped at line %1 of '%2': a required column is empty (%3)\n"
                        "%4; %5 later data line(s) of the report were not converted.")
                        .arg(o.stoppedAtLine)
                        .arg(o.reportPath, o.errorDescription, records(o.recordsStored))
                        .arg(o.unconvertedDataLines);
    } else if (tableEnded) {
        o.end = validity != 0 ? RunOutcome::End::Converted : RunOutcome::End::InvalidFile;
        o.message = validity != 0 ? converted : invalidFile;
    } else {
        o.end = RunOutcome::End::Failed;
        o.message = QStringLiteral("Error %1: %2\n\nReport: %3\nThe conversion stopped at line %4; %5.")
                        .arg(o.errorNumber)
                        .arg(o.errorDescription, o.reportPath)
                        .arg(o.stoppedAtLine)
                        .arg(records(o.recordsStored));
    }
}

void Engine::finish(RunOutcome &o)
{
    describe(o);
    if (m_watched && o.conversionId > 0 && o.recordsStored > 0 && o.end != RunOutcome::End::Interrupted)
        o.shares = m_watched;
    // A run that stored nothing may have been given some other file; read again only then, after the commit.
    if (o.recordsStored == 0 && o.end != RunOutcome::End::Interrupted)
        o.notAReport = !reportcheck::hasFullDataLine(m_window.text1());
    if (o.end == RunOutcome::End::Interrupted) {
        m_window.endBox(o, MessageIcon::None);
    } else if (o.end == RunOutcome::End::Incomplete) {
        m_window.endBox(o, MessageIcon::Warning);
    } else if (o.end == RunOutcome::End::Converted || o.end == RunOutcome::End::InvalidFile) {
        m_window.endBox(o, validity != 0 ? MessageIcon::Information : MessageIcon::None);
        if (validity != 0) {
            try {
                db.close();
            } catch (const Error &) {
                // Its records were committed above; closing has nothing left to lose.
            }
            stt = 0;
        }
    } else {
        m_window.endBox(o, MessageIcon::Critical);
    }
    restoreWindow();
}

// The run's records came from the bytes it read; the log names the bytes the
// guard checked before the lock. They must be the same file.
std::optional<Error> Engine::reportChanged(const RunOutcome &o)
{
    if (!m_readDigest || !report.isOpen())
        return std::nullopt;
    try {
        report.readToEnd();
    } catch (const Error &) {
        return std::nullopt; // the read failure is the run's news already
    }
    if (report.bytesRead() == o.reportSize && m_readDigest->hex() == o.sha256)
        return std::nullopt;
    return Error(err::DeviceIo,
                 QStringLiteral("The report '%1' changed while waiting; nothing was stored.").arg(o.reportPath));
}

void Engine::restoreWindow()
{
    m_window.setProgressVisible(false);
    m_window.setCommand1Enabled(true);
    m_window.setCommand3Enabled(true);
}

void Engine::checkInterrupt()
{
    if (m_window.interruptRequested())
        throw Error(err::Interrupted, QStringLiteral("The conversion was interrupted."));
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
            // NUL bytes are a damaged tail (a file after a crash), not data left behind.
            if (!layout::inDataBlock(line) || text.size() < layout::fullLineLength
                || text.left(layout::fullLineLength).contains(QChar(0)))
                continue;
            const auto kind = layout::classify(layout::cut(text, layout::columns[layout::OwnerName]));
            if (kind != layout::RowKind::Rule && kind != layout::RowKind::Signature)
                ++count;
        }
    } catch (const Error &) {
        // A report that cannot be read further has nothing more to count.
    } catch (const std::bad_alloc &) {
        // Nor one that cannot be held; the lines counted so far stand.
    }
    return count;
}

} // namespace zefto
