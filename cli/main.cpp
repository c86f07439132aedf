#include "csvwriter.h"
#include "drytarget.h"
#include "engine.h"
#include "error.h"
#include "exitstatus.h"
#include "location.h"
#include "mahalle.h"
#include "recordlist.h"
#include "recordrows.h"
#include "reportargs.h"
#include "runcheck.h"
#include "scratchstore.h"
#include "terminalwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>
#include <optional>
#include <cstdio>
#include <unistd.h>

using namespace zefto;

namespace {

using namespace cli;
using namespace records;

const char *usage =
    "Usage: zefto-convert [--database FILE|ADDRESS] [--mahalle NAME] [--again] [--dry-run] [--list] REPORT...\n"
    "Converts share table reports (CP857 text) into the table ovrekson of\n"
    "ovrek1.mdb in the current directory, of FILE, or on a PostgreSQL server.\n"
    "Every conversion is written down in the table zefto_conversions (see zefto-records).\n"
    "\n"
    "  --database FILE  the database to append to (created when missing);\n"
    "                   ZEFTO_DATABASE names it when the option is not given\n"
    "  --mahalle NAME   the neighbourhood of every record; else ZEFTO_MAHALLE,\n"
    "                   else \"Tarçınbağı\" (an empty or blank name is refused)\n"
    "  --again          convert a report even when the same bytes were converted\n"
    "                   before and not undone (refused otherwise)\n"
    "  --dry-run        change nothing: print on standard output, as CSV, the records\n"
    "                   the run would store; the messages go to standard error\n"
    "  --list           print the records this run stored\n"
    "  -                as a REPORT: read the report from standard input\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status, the most severe over the reports:\n"
    "  2    a report could not be converted completely (or output failed)\n"
    "  3    a report was refused as converted before (nothing of it stored)\n"
    "  1    a report said \" Invalid file \" (no father's name needed the Ğ repair)\n"
    "  0    every report said \"Converted\"\n"
    "  64   wrong usage (nothing was run)\n"
    "  130/143 interrupted by SIGINT/SIGTERM (the report being converted was not stored)\n";

volatile int stopSignal = 0;

extern "C" void requestStop(int sig)
{
    stopSignal = sig;
}

// SIGINT and SIGTERM stop the run at a line boundary; a file size limit
// makes the write fail (reported as a full database) instead of killing us.
void installSignalHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = requestStop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

QString summary(const RunOutcome &o)
{
    QString line = QStringLiteral("  lines read %1 of %2, records stored %3, stopped at line %4")
                       .arg(o.linesRead)
                       .arg(o.linesInReport)
                       .arg(o.recordsStored)
                       .arg(o.stoppedAtLine);
    // The literal alone would hide that the records are in the table.
    if (o.end == RunOutcome::End::InvalidFile && o.recordsStored > 0)
        line += QStringLiteral("; %1 record%2 stored, but no father's name needed the Ğ repair, so the report may "
                               "not come from the expected printer")
                    .arg(o.recordsStored)
                    .arg(o.recordsStored == 1 ? QStringLiteral(" was") : QStringLiteral("s were"));
    return line;
}

int statusOf(const RunOutcome &o)
{
    switch (o.end) {
    case RunOutcome::End::Converted: return exitStatus::converted;
    case RunOutcome::End::InvalidFile: return exitStatus::invalidFile;
    case RunOutcome::End::Duplicate: return exitStatus::duplicate;
    default: return exitStatus::failed;
    }
}

// Which of two statuses tells more: failed, then duplicate, then invalid, then converted.
int worse(int a, int b)
{
    const auto rank = [](int s) { return s == exitStatus::failed ? 3 : s == exitStatus::duplicate ? 2 : s; };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace

int main(int argc, char **argv)
{
    // Before Qt decodes the arguments: a name it would change is refused, not replaced.
    if (const QString bad = cli::undecodableFileArgument(argc, argv); !bad.isEmpty()) {
        QTextStream(stderr) << "zefto-convert: " << bad << '\n';
        return exitStatus::usage;
    }
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("database"), QString(), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("list"), QString()});
    parser.addOption({QStringLiteral("mahalle"), QString(), QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("again"), QString()});
    parser.addOption({QStringLiteral("dry-run"), QString()});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << '\n' << usage;
        return exitStatus::usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << usage;
        return exitStatus::converted;
    }
    const QStringList reports = parser.positionalArguments();
    if (reports.isEmpty()) {
        err << "zefto-convert: no report named\n" << usage;
        return exitStatus::usage;
    }
    const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
    if (dryRun && parser.isSet(QStringLiteral("list"))) {
        err << "zefto-convert: --dry-run stores nothing to --list; it prints its records itself\n" << usage;
        return exitStatus::usage;
    }
    installSignalHandlers();

    cli::TerminalWindow window(isatty(STDERR_FILENO));
    window.setInterruptFlag(&stopSignal);
    window.setConvertAgain(parser.isSet(QStringLiteral("again")) || dryRun);
    window.setMessagesToStandardError(dryRun);
    Engine engine(window);
    engine.afterCommit = records::checkRun;
    try {
        engine.mahalle = mahalle::chosen(parser.isSet(QStringLiteral("mahalle"))
                                             ? std::optional(parser.value(QStringLiteral("mahalle")))
                                             : std::nullopt);
    } catch (const Error &e) {
        err << "zefto-convert: " << e.description() << '\n';
        return exitStatus::usage;
    }
    // Opened by the first run whose report can be read: a missing report creates nothing.
    const std::optional<QString> option = parser.isSet(QStringLiteral("database"))
                                              ? std::optional(parser.value(QStringLiteral("database")))
                                              : std::nullopt;
    QString target;
    try {
        target = location::resolved(location::chosen(option));
        if (!dryRun)
            engine.useDatabase(target);
    } catch (const Error &e) {
        err << "zefto-convert: " << e.description() << '\n';
        return exitStatus::usage;
    }

    // A dry run's records go to standard output; everything it says, to standard error.
    QTextStream &said = dryRun ? err : out;
    QFile stdoutFile;
    stdoutFile.open(stdout, QIODevice::WriteOnly);
    std::optional<CsvWriter> csv;
    DryTarget before;
    std::optional<Record> dryLast; // the record the previous dry report would have stored last
    if (dryRun) {
        try {
            before = readDryTarget(target);
        } catch (const Error &e) {
            err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
            return exitStatus::failed;
        }
        dryLast = before.last;
        csv.emplace(stdoutFile, false);
        csv->header(recordFields());
    }

    int status = exitStatus::converted;
    int runs = 0;
    qint64 totalRecords = 0, totalLines = 0;
    QList<KeyRange> stored;
    for (const QString &report : reports) {
        if (stopSignal != 0)
            break;
        std::optional<cli::ReportInput> input;
        try {
            input.emplace(report); // "-" reads standard input to its end here
        } catch (const Error &e) {
            said << report << ": error: Nothing was converted.\n\n" << e.description() << '\n';
            status = worse(status, exitStatus::failed);
            continue;
        }
        window.setReport(input->path(), input->displayName());
        int dryStatus = -1;
        std::shared_ptr<ScratchStore> scratch;
        if (dryRun) {
            // The guard the real run would apply, asked of the target's own log.
            try {
                if (before.db && !parser.isSet(QStringLiteral("again"))) {
                    const std::optional<Conversion> earlier = before.earlier(Engine::fingerprint(input->path()).first);
                    if (earlier) {
                        err << Engine::duplicateMessage(QFileInfo(input->path()).absoluteFilePath(), *earlier, target)
                            << '\n';
                        dryStatus = exitStatus::duplicate;
                    }
                }
            } catch (const Error &e) {
                err << input->displayName() << ": error " << e.number() << ": " << e.description() << '\n';
                status = worse(status, exitStatus::failed);
                continue;
            }
            scratch = std::make_shared<ScratchStore>(target, before.columns, dryLast);
            engine.db.attach(scratch);
        }
        said << input->displayName() << ": ";
        said.flush();
        const RunOutcome o = engine.Command1_Click();
        if (o.end == RunOutcome::End::Duplicate)
            err << o.message << '\n';
        said << summary(o) << '\n';
        if (o.shares)
            said << records::runLine(*o.shares, o.conversionId) << '\n';
        said.flush();
        ++runs;
        totalRecords += o.recordsStored;
        totalLines += o.linesRead;
        stored << std::pair(o.firstKey, o.lastKey);
        status = worse(status, dryStatus >= 0 ? dryStatus : statusOf(o));
        if (scratch) {
            for (const Record &r : scratch->records())
                csv->row(inFieldOrder(scratch->columns(), r));
            if (!scratch->records().empty())
                dryLast = scratch->records().back();
            engine.db.close();
        }
    }
    if (runs > 1)
        said << "total: " << runs << " reports, lines read " << totalLines << ", records stored " << totalRecords
             << (dryRun ? " (dry run: nothing was written)" : "") << '\n';
    if (csv && !csv->ok()) {
        err << "zefto-convert: cannot write to standard output\n";
        status = worse(status, exitStatus::failed);
    }
    try {
        engine.db.close();
    } catch (const Error &e) {
        err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
        status = worse(status, exitStatus::failed);
    }
    if (stopSignal == 0 && parser.isSet(QStringLiteral("list"))) {
        try {
            Database db;
            if (std::any_of(stored.begin(), stored.end(), [](const KeyRange &r) { return r.first > 0; }))
                db.open(engine.databasePath(), Missing::Refuse);
            printRecords(db, stored, out);
        } catch (const Error &e) {
            err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
            status = worse(status, exitStatus::failed);
        }
    }
    out.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err << "zefto-convert: cannot write to standard output\n";
        status = worse(status, exitStatus::failed);
    }
    if (stopSignal != 0)
        return exitStatus::signalBase + stopSignal;
    return status;
}
