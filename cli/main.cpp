#include "engine.h"
#include "error.h"
#include "recordlist.h"
#include "terminalwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <unistd.h>

using namespace zefto;

namespace {

constexpr int exitUsage = 64;

const char *usage =
    "Usage: zefto-convert [--database FILE] [--list] REPORT...\n"
    "Converts share table reports (CP857 text) into the table ovrekson of\n"
    "ovrek1.mdb in the current directory, or of FILE.\n"
    "\n"
    "  --database FILE  the database to append to (created when missing)\n"
    "  --list           print the records this run stored\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 every report said \"Converted\", 1 a report said \" Invalid file \",\n"
    "2 a report could not be converted completely, 64 wrong usage.\n";

QString summary(const RunOutcome &o)
{
    return QStringLiteral("  lines read %1 of %2, records stored %3, stopped at line %4")
        .arg(o.linesRead)
        .arg(o.linesInReport)
        .arg(o.recordsStored)
        .arg(o.stoppedAtLine);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("database"), QString(), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("list"), QString()});
    parser.addOption({QStringLiteral("help"), QString()});
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << '\n' << usage;
        return exitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << usage;
        return 0;
    }
    const QStringList reports = parser.positionalArguments();
    if (reports.isEmpty()) {
        err << "zefto-convert: no report named\n" << usage;
        return exitUsage;
    }

    cli::TerminalWindow window(isatty(STDERR_FILENO));
    Engine engine(window);
    const QString name = parser.isSet(QStringLiteral("database")) ? parser.value(QStringLiteral("database"))
                                                                   : QStringLiteral("ovrek1.mdb");
    try {
        engine.openDatabase(name);
    } catch (const Error &e) {
        err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
        return 2;
    }
    const qint64 before = cli::lastRecordId(engine.databasePath());

    int status = 0;
    for (const QString &report : reports) {
        window.setReport(report);
        out << report << ": ";
        out.flush();
        const RunOutcome o = engine.Command1_Click();
        out << summary(o) << '\n';
        out.flush();
        if (o.end == RunOutcome::End::InvalidFile)
            status = std::max(status, 1);
        else if (o.end != RunOutcome::End::Converted)
            status = 2;
    }
    try {
        engine.db.close();
    } catch (const Error &e) {
        err << "zefto-convert: error " << e.number() << ": " << e.description() << '\n';
        status = 2;
    }
    if (parser.isSet(QStringLiteral("list")))
        cli::printRecords(engine.databasePath(), before);
    return status;
}
