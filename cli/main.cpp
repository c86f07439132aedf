#include "engine.h"
#include "error.h"
#include "exitstatus.h"
#include "location.h"
#include "recordlist.h"
#include "reportargs.h"
#include "terminalwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <csignal>
#include <optional>
#include <cstdio>
#include <unistd.h>

using namespace zefto;

namespace {

using namespace cli;

const char *usage =
    "Usage: zefto-convert [--database FILE] [--list] REPORT...\n"
    "Converts share table reports (CP857 text) into the table ovrekson of\n"
    "ovrek1.mdb in the current directory, or of FILE.\n"
    "\n"
    "  --database FILE  the database to append to (created when missing);\n"
    "                   ZEFTO_DATABASE names it when the option is not given\n"
    "  --list           print the records this run stored\n"
    "  -                as a REPORT: read the report from standard input\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 every report said \"Converted\", 1 a report said \" Invalid file \",\n"
    "2 a report could not be converted completely, 64 wrong usage,\n"
    "130/143 interrupted (SIGINT/SIGTERM; the report being converted was not stored).\n";

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
    return QStringLiteral("  lines read %1 of %2, records stored %3, stopped at line %4")
        .arg(o.linesRead)
        .arg(o.linesInReport)
        .arg(o.recordsStored)
        .arg(o.stoppedAtLine);
}

int statusOf(const RunOutcome &o)
{
    switch (o.end) {
    case RunOutcome::End::Converted: return exitStatus::converted;
    case RunOutcome::End::InvalidFile: return exitStatus::invalidFile;
    default: return exitStatus::failed;
    }
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
    parser.addOption({QStringLiteral("help"), QString()});
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
    installSignalHandlers();

    cli::TerminalWindow window(isatty(STDERR_FILENO));
    window.setInterruptFlag(&stopSignal);
    Engine engine(window);
    // Opened by the first run whose report can be read: a missing report creates nothing.
    const std::optional<QString> option = parser.isSet(QStringLiteral("database"))
                                              ? std::optional(parser.value(QStringLiteral("database")))
                                              : std::nullopt;
    try {
        engine.useDatabase(location::chosen(option));
    } catch (const Error &e) {
        err << "zefto-convert: " << e.description() << '\n';
        return exitStatus::usage;
    }

    int status = exitStatus::converted;
    QList<KeyRange> stored;
    for (const QString &report : reports) {
        if (stopSignal != 0)
            break;
        std::optional<cli::ReportInput> input;
        try {
            input.emplace(report); // "-" reads standard input to its end here
        } catch (const Error &e) {
            out << report << ": error: Nothing was converted.\n\n" << e.description() << '\n';
            status = std::max(status, exitStatus::failed);
            continue;
        }
        window.setReport(input->path(), input->displayName());
        out << input->displayName() << ": ";
        out.flush();
        const RunOutcome o = engine.Command1_Click();
        out << summary(o) << '\n';
        out.flush();
        stored << std::pair(o.firstKey, o.lastKey);
        status = std::max(status, statusOf(o));
    }
    try {
        engine.db.close();
    } catch (const Error &e) {
        err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
        status = std::max(status, exitStatus::failed);
    }
    if (stopSignal == 0 && parser.isSet(QStringLiteral("list"))) {
        try {
            Database db;
            if (std::any_of(stored.begin(), stored.end(), [](const KeyRange &r) { return r.first > 0; }))
                db.open(engine.databasePath(), Missing::Refuse);
            printRecords(db, stored, out);
        } catch (const Error &e) {
            err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
            status = std::max(status, exitStatus::failed);
        }
    }
    out.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err << "zefto-convert: cannot write to standard output\n";
        status = std::max(status, exitStatus::failed);
    }
    if (stopSignal != 0)
        return exitStatus::signalBase + stopSignal;
    return status;
}
