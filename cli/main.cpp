#include "csvwriter.h"
#include "dryrun.h"
#include "engine.h"
#include "error.h"
#include "exitstatus.h"
#include "location.h"
#include "mahalle.h"
#include "recordlist.h"
#include "recordrows.h"
#include "reportargs.h"
#include "runcheck.h"
#include "standardoutput.h"
#include "terminalwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <new>
#include <optional>
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
    "  --version        the version\n"
    "\n"
    "Exit status, the most severe over the reports:\n"
    "  2    a report could not be converted completely (or output failed)\n"
    "  3    a report was refused as converted before (nothing of it stored)\n"
    "  1    a report said \" Invalid file \" (no father's name needed the Ğ repair)\n"
    "  0    every report said \"Converted\"\n"
    "  64   wrong usage (nothing was run)\n"
    "  130/143 interrupted by SIGINT/SIGTERM before a report was stored (that report and\n"
    "          those after it were not stored; a signal after the last commit changes nothing)\n";

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

QString summary(const RunOutcome &o, bool dry)
{
    QString line = QStringLiteral("  lines read %1 of %2, %3 %4, stopped at line %5")
                       .arg(o.linesRead)
                       .arg(o.linesInReport)
                       .arg(dry ? QStringLiteral("records it would store") : QStringLiteral("records stored"))
                       .arg(o.recordsStored)
                       .arg(o.stoppedAtLine);
    // The literal alone would hide that the records are (or would be) in the table.
    if (o.end == RunOutcome::End::InvalidFile && o.recordsStored > 0)
        line +=
            QStringLiteral(
                "; %1 record%2, but no father's name needed the Ğ repair, so the report may "
                "not come from the expected printer")
                .arg(o.recordsStored)
                .arg(dry ? (o.recordsStored == 1 ? QStringLiteral(" would be stored")
                                                 : QStringLiteral("s would be stored"))
                         : (o.recordsStored == 1 ? QStringLiteral(" was stored") : QStringLiteral("s were stored")));
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

struct Options {
    QStringList reports;
    std::optional<QString> database; // --database
    QString target;                  // the database resolved
    QString mahalle;
    bool again = false;
    bool dryRun = false;
    bool list = false;
};

// Parses the command line into `o`; an exit status when there is nothing to run.
std::optional<int> parse(const QStringList &arguments, Options &o, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("database"), QString(), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("list"), QString()});
    parser.addOption({QStringLiteral("mahalle"), QString(), QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("again"), QString()});
    parser.addOption({QStringLiteral("dry-run"), QString()});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({QStringLiteral("version"), QString()});
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n' << usage;
        return exitStatus::usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << usage;
        return exitStatus::converted;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "zefto-convert " ZEFTO_VERSION "\n";
        return exitStatus::converted;
    }
    const auto given = [&](const char *name) {
        const QString option = QString::fromLatin1(name);
        return parser.isSet(option) ? std::optional(parser.value(option)) : std::nullopt;
    };
    o.reports = parser.positionalArguments();
    o.dryRun = parser.isSet(QStringLiteral("dry-run"));
    o.list = parser.isSet(QStringLiteral("list"));
    o.again = parser.isSet(QStringLiteral("again"));
    o.database = given("database");
    if (o.reports.isEmpty()) {
        err << "zefto-convert: no report named\n" << usage;
        return exitStatus::usage;
    }
    if (o.dryRun && o.list) {
        err << "zefto-convert: --dry-run stores nothing to --list; it prints its records itself\n" << usage;
        return exitStatus::usage;
    }
    try {
        o.mahalle = mahalle::chosen(given("mahalle"));
        o.target = location::resolved(location::chosen(o.database));
    } catch (const Error &e) {
        err << "zefto-convert: " << e.description() << '\n';
        return exitStatus::usage;
    }
    return std::nullopt;
}

// The reports of one invocation, converted (or dry run) one after the other.
class Batch {
public:
    Batch(const Options &options, QTextStream &out, QTextStream &err)
        : m_options(options),
          m_out(out),
          m_err(err),
          m_said(options.dryRun ? err : out),
          m_window(isatty(STDERR_FILENO)),
          m_engine(m_window)
    {
        m_window.setInterruptFlag(&stopSignal);
        m_window.setConvertAgain(options.again);
        m_window.setMessagesToStandardError(options.dryRun);
        m_engine.mahalle = options.mahalle;
        m_engine.watch = &m_check;
    }

    // Reads the target a dry run starts from, or names the database a real run opens
    // (the first run whose report can be read opens it: a missing report creates nothing).
    bool begin()
    {
        if (!m_options.dryRun) {
            m_engine.useDatabase(m_options.target);
            return true;
        }
        try {
            m_target = readDryTarget(m_options.target);
        } catch (const Error &e) {
            m_err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
            m_status = exitStatus::failed;
            return false;
        }
        m_dryLast = m_target.last;
        m_stdout.open(stdout, QIODevice::WriteOnly);
        m_csv.emplace(m_stdout, false);
        m_csv->header(recordFields());
        return true;
    }

    void convert(const QString &report)
    {
        std::optional<cli::ReportInput> input;
        try {
            input.emplace(report); // "-" reads standard input to its end here
        } catch (const Error &e) {
            m_said << report << ": error: Nothing was converted.\n\n" << e.description() << '\n';
            m_status = worse(m_status, exitStatus::failed);
            return;
        }
        m_window.setReport(input->path(), input->displayName());
        m_said << input->displayName() << ": ";
        m_said.flush();
        if (m_options.dryRun)
            dry(*input);
        else
            counted(m_engine.Command1_Click(), statusOf);
    }

    int end()
    {
        if (m_runs > 1)
            m_said << "total: " << m_runs << " reports, lines read " << m_lines << ", "
                   << (m_options.dryRun ? "records they would store " : "records stored ") << m_records
                   << (m_options.dryRun ? " (dry run: nothing was written)" : "") << '\n';
        // The records may still sit in the device's buffer: judged only after it is flushed.
        bool stdoutFailed = false;
        if (m_csv && (!m_stdout.flush() || !m_csv->ok())) {
            stdoutFailed = true;
            failed(QStringLiteral("cannot write to standard output: ") + m_stdout.errorString());
        }
        try {
            m_engine.closeDatabase();
        } catch (const Error &e) {
            failed(e);
        }
        if (stopSignal == 0 && m_options.list)
            list();
        m_out.flush();
        m_stdout.close();
        if (QString why; !cli::closeStdioOutput(&why) && !stdoutFailed)
            failed(QStringLiteral("cannot write to standard output")
                   + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        return m_status;
    }

    // Whether a signal took back a run; one that came after the commit did not.
    bool interrupted() const { return m_interrupted; }

private:
    void dry(const cli::ReportInput &input)
    {
        DryRun run;
        try {
            run = dryRun(m_window, m_target, m_options.mahalle, m_dryLast);
        } catch (const Error &e) {
            m_err << input.displayName() << ": error " << e.number() << ": " << e.description() << '\n';
            m_status = worse(m_status, exitStatus::failed);
            return;
        }
        const bool refused = run.earlier && !m_options.again;
        if (refused)
            m_err << Engine::duplicateMessage(QFileInfo(input.path()).absoluteFilePath(), *run.earlier, m_target.name)
                  << '\n';
        counted(run.outcome, [&](const RunOutcome &o) { return refused ? exitStatus::duplicate : statusOf(o); });
        for (const Record &r : run.records)
            m_csv->row(inFieldOrder(run.columns, r));
        if (!run.records.empty())
            m_dryLast = run.records.back();
    }

    template <typename StatusOf> void counted(const RunOutcome &o, StatusOf status)
    {
        if (o.end == RunOutcome::End::Duplicate)
            m_err << o.message << '\n';
        m_said << summary(o, m_options.dryRun) << '\n';
        if (o.shares)
            m_said << records::runLine(*o.shares, o.conversionId) << '\n';
        m_said.flush();
        ++m_runs;
        m_interrupted = m_interrupted || o.end == RunOutcome::End::Interrupted;
        m_records += o.recordsStored;
        m_lines += o.linesRead;
        m_stored << std::pair(o.firstKey, o.lastKey);
        m_status = worse(m_status, status(o));
    }

    void list()
    {
        try {
            Database db;
            if (std::any_of(m_stored.begin(), m_stored.end(), [](const KeyRange &r) { return r.first > 0; }))
                db.open(m_engine.databasePath(), Missing::Refuse);
            printRecords(db, m_stored, m_out);
        } catch (const Error &e) {
            failed(e);
        }
    }

    void failed(const Error &e) { failed(QStringLiteral("error %1: %2").arg(e.number()).arg(e.description())); }
    void failed(const QString &what)
    {
        m_err << "zefto-convert: " << what << '\n';
        m_status = worse(m_status, exitStatus::failed);
    }

    const Options &m_options;
    QTextStream &m_out, &m_err;
    QTextStream &m_said; // a dry run's records go to standard output; everything it says, to standard error
    cli::TerminalWindow m_window;
    records::RunCheck m_check; // each run's shares, counted as it stores them
    Engine m_engine;
    DryTarget m_target;
    std::optional<Record> m_dryLast; // the record the previous dry report would have stored last
    QFile m_stdout;
    std::optional<CsvWriter> m_csv;
    int m_status = exitStatus::converted;
    int m_runs = 0;
    bool m_interrupted = false;
    qint64 m_records = 0, m_lines = 0;
    QList<KeyRange> m_stored;
};

} // namespace

int main(int argc, char **argv)
try {
    // Before Qt decodes the arguments: a name it would change is refused, not replaced.
    if (const QString bad = cli::undecodableFileArgument(argc, argv); !bad.isEmpty()) {
        QTextStream(stderr) << "zefto-convert: " << bad << '\n';
        return exitStatus::usage;
    }
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    Options options;
    if (const std::optional<int> status = parse(app.arguments(), options, out, err))
        return *status;
    installSignalHandlers();

    Batch batch(options, out, err);
    if (!batch.begin())
        return exitStatus::failed;
    int stoppedBy = 0; // the signal that kept a report from being converted at all
    for (const QString &report : options.reports) {
        if (stopSignal != 0) {
            stoppedBy = stopSignal;
            break;
        }
        batch.convert(report);
    }
    const int status = batch.end();
    if (stoppedBy == 0 && batch.interrupted())
        stoppedBy = stopSignal != 0 ? stopSignal : SIGINT;
    return stoppedBy != 0 ? exitStatus::signalBase + stoppedBy : status;
} catch (const std::bad_alloc &) {
    // Whatever a run held was taken back as the stack unwound; an abort would say nothing.
    std::fputs("zefto-convert: out of memory\n", stderr);
    return exitStatus::failed;
}
