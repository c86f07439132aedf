#include "atomicfile.h"
#include "checkcommand.h"
#include "chosen.h"
#include "conversion.h"
#include "csvwriter.h"
#include "database.h"
#include "drytarget.h"
#include "error.h"
#include "exitstatus.h"
#include "export.h"
#include "location.h"
#include "recordrows.h"
#include "reportargs.h"
#include "spool.h"
#include "standardoutput.h"
#include "undo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <functional>
#include <new>
#include <unistd.h>

using namespace zefto;
using namespace zefto::cli;
using namespace zefto::records;

namespace {

const char *usage =
    "Usage: zefto-records [--database FILE|ADDRESS] COMMAND\n"
    "Shows, exports and undoes what zefto-convert stored in ovrekson.\n"
    "\n"
    "Commands:\n"
    "  log [--format table|csv]            the conversions, newest last\n"
    "  show [--conversion ID|last] [--filter TEXT] [--format table|csv]\n"
    "                                      the records in the order they were added\n"
    "  export FILE.csv|FILE.xlsx [--conversion ID|last] [--filter TEXT] [--force]\n"
    "                                      writes them to a file (never over one without --force)\n"
    "  undo ID|last                        removes exactly the records of that conversion\n"
    "                                      and marks it undone in the log\n"
    "  check [--conversion ID|last] [--filter TEXT] [--format table|csv] [--skip-rule N]...\n"
    "                                      lists the new parcels and records whose shares,\n"
    "                                      areas, title deeds or allocations do not add up\n"
    "\n"
    "  --database FILE  the database (else ZEFTO_DATABASE, else ovrek1.mdb here)\n"
    "  --conversion     only the records of that conversion; last: the newest not undone\n"
    "  --filter TEXT    records whose given names, surname, father's name, block, parcel\n"
    "                   or neighbourhood contain TEXT, ignoring case and Turkish letter marks\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n"
    "Exit status: 0 done, 2 failed or refused (the reason is printed), 64 wrong usage;\n"
    "check: 1 when something does not add up or cannot be read.\n";

// Why a command cannot go on: printed, then exit 2.
using Refused = records::Refusal;

// A usage mistake: printed with the usage, then exit 64.
struct Misused {
    QString why;
};

QString shownKeys(const Conversion &c)
{
    return c.records == 0 ? QStringLiteral("-") : QStringLiteral("%1-%2").arg(c.firstKey).arg(c.lastKey);
}

// Rows handed to a table one at a time, to `line`; asked for twice.
using RowSource = std::function<void(const std::function<void(const QStringList &)> &line)>;

// Columns padded to their widest cell, for a terminal: one pass measures, the
// next writes, so no listing is held in memory. Controls are shown escaped.
void writeTable(QIODevice &out, const QStringList &header, const RowSource &rows)
{
    QList<qsizetype> widths;
    for (const QString &h : header)
        widths << h.size();
    rows([&](const QStringList &cells) {
        for (int i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], escapedControls(cells[i]).size());
    });
    QString l;
    const auto line = [&](const QStringList &cells) {
        l.resize(0);
        for (int i = 0; i < cells.size(); ++i) {
            const QString cell = escapedControls(cells[i]);
            l += cell;
            if (i + 1 < cells.size()) // padded to its column's width, then two blanks
                l.resize(l.size() + widths[i] - cell.size() + 2, u' ');
        }
        l += u'\n';
        out.write(l.toUtf8());
    };
    line(header);
    rows(line);
}

class Records {
public:
    explicit Records(const QString &name) : m_name(name) {}

    Database &open(bool write)
    {
        m_db.setReadOnly(!write);
        m_db.open(m_name, Missing::Refuse);
        return m_db;
    }

    // The conversion `which` names (an id or "last": the newest not undone).
    Conversion conversion(const QString &which)
    {
        const std::vector<Conversion> log = m_db.conversions();
        if (which == QLatin1String("last")) {
            for (auto it = log.rbegin(); it != log.rend(); ++it)
                if (!it->undone())
                    return *it;
            throw Refused{QStringLiteral("The log of '%1' holds no conversion that is not undone.").arg(m_db.path())};
        }
        return byId(log, which);
    }

    // For undo, "last" is the newest live conversion made here by this login (and on a server
    // by the role it proved, `role`): another clerk's run of a moment ago is never the one meant.
    Conversion ownLast(const QString &role)
    {
        const std::vector<Conversion> log = m_db.conversions();
        const QString user = conversionlog::userName(), host = conversionlog::hostName();
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (!it->undone() && it->records > 0 && it->user == user && it->host == host
                && (role.isEmpty() || it->role == role))
                return *it;
        if (!role.isEmpty())
            throw Refused{QStringLiteral("The log of '%1' holds no conversion by the role '%2' that is not undone; "
                                         "name another's by its id.")
                              .arg(m_db.path(), role)};
        throw Refused{QStringLiteral("The log of '%1' holds no conversion by %2@%3 that is not undone.")
                          .arg(m_db.path(), user, host)};
    }

    Conversion byId(const std::vector<Conversion> &log, const QString &which)
    {
        bool number = false;
        const qint64 id = which.toLongLong(&number);
        if (!number || id <= 0)
            throw Misused{QStringLiteral("'%1' is neither a conversion id nor 'last'.").arg(which)};
        for (const Conversion &c : log)
            if (c.id == id)
                return c;
        throw Refused{QStringLiteral("The log of '%1' holds no conversion %2.").arg(m_db.path()).arg(id)};
    }

    // The keys of every record, or of those of the conversion `which` names.
    KeyRange keys(const std::optional<QString> &which)
    {
        return which ? keysOf(conversion(*which), m_db.path()) : allKeys;
    }

private:
    QString m_name;
    Database m_db;
};

// Ends a listing on standard output; a failure to write any of it is exit 2.
int finished(cli::StandardOutput &out)
{
    if (!out.finish())
        throw Refused{QStringLiteral("Cannot write to standard output: %1.").arg(out.failure())};
    return exitStatus::converted;
}

int logCommand(Records &records, const QString &format)
{
    Database &db = records.open(false);
    const std::vector<Conversion> log = db.conversions();
    cli::StandardOutput out(format != QLatin1String("csv"));
    if (format == QLatin1String("csv")) {
        CsvWriter csv(out, false);
        // A server's log also tells the role the server proved; a file's cannot.
        const bool server = !db.identity().isEmpty();
        csv.header(QString::fromLatin1(conversionlog::fieldList).split(QStringLiteral(", "))
                   + conversionlog::checkFields()
                   + (server ? QStringList{QStringLiteral("role_name")} : QStringList()));
        for (const Conversion &c : log) {
            std::vector<Value> row{Value::number(double(c.id))};
            const QList<QVariant> check = c.shares ? conversionlog::checkValues(*c.shares) : QList<QVariant>(12);
            for (const QVariant &v : conversionlog::fieldValues(c) + check) {
                if (v.isNull())
                    row.push_back(Value::null());
                else if (v.typeId() == QMetaType::QString)
                    row.push_back(Value::text(v.toString()));
                else
                    row.push_back(Value::number(v.toDouble()));
            }
            if (server)
                row.push_back(Value::text(c.role));
            csv.row(row);
        }
        return finished(out);
    }
    writeTable(out,
               {QStringLiteral("id"), QStringLiteral("started"), QStringLiteral("by"), QStringLiteral("records"),
                QStringLiteral("keys"), QStringLiteral("outcome"), QStringLiteral("mahalle"), QStringLiteral("report"),
                QStringLiteral("undone"), QStringLiteral("shares")},
               [&](const auto &line) {
                   for (const Conversion &c : log)
                       line({QString::number(c.id), conversionlog::shownTime(c.startedAt), conversionlog::runBy(c),
                             QString::number(c.records), shownKeys(c), c.outcome, c.mahalle, c.reportPath,
                             c.undone()
                                 ? QStringLiteral("%1 by %2").arg(conversionlog::shownTime(c.undoneAt), c.undoneBy)
                                 : QString(),
                             conversionlog::shownCheck(c.shares)});
               });
    return finished(out);
}

// Read in one snapshot, then written as they come back from disk: memory stays small.
int showCommand(Records &records, const std::optional<QString> &conversion, const std::optional<QString> &filter,
                const QString &format)
{
    Database &db = records.open(false);
    ChosenSpool chosen(db, records.keys(conversion), filter);
    cli::StandardOutput out(format != QLatin1String("csv"));
    if (format == QLatin1String("csv")) {
        CsvWriter csv(out, false);
        csv.header(recordFields());
        chosen.forEach([&](const std::vector<Value> &r) { csv.row(r); });
        return finished(out);
    }
    writeTable(out, recordFields(), [&](const auto &line) {
        chosen.forEach([&](const std::vector<Value> &r) {
            QStringList cells;
            for (const Value &v : r)
                cells << cellText(v);
            line(cells);
        });
    });
    return finished(out);
}

int exportCommand(Records &records, const QString &file, const std::optional<QString> &conversion,
                  const std::optional<QString> &filter, bool force)
{
    if (!exportable(file))
        throw Misused{QStringLiteral("export writes FILE.csv or FILE.xlsx, not '%1'.").arg(file)};
    const QString path = QFileInfo(file).absoluteFilePath();
    // A device or a FIFO is refused as such, --force or not.
    if (const QString why = notReplaceable(path); !why.isEmpty())
        throw Refused{QStringLiteral("Cannot write '%1': %2, not a regular file; nothing was written.").arg(path, why)};
    if (QFileInfo::exists(path) && !force)
        throw Refused{QStringLiteral("'%1' already exists; --force writes over it.").arg(path)};
    Database &db = records.open(false);
    const Exported done = exportRecords(db, path, records.keys(conversion), filter);
    QTextStream err(stderr);
    if (done.replacedCharacters > 0)
        err << "warning: " << done.replacedCharacters
            << " control character(s) a sheet cannot hold were written as U+FFFD\n";
    err << done.records << " record" << (done.records == 1 ? "" : "s") << " written to " << path << '\n';
    return exitStatus::converted;
}

int undoCommand(Records &records, const QString &which)
{
    Database &db = records.open(true);
    // A role that may not undo hears only that, not which conversion it would have undone.
    db.checkMayUndo();
    qint64 id = 0;
    if (which == QLatin1String("last")) {
        const Conversion c = records.ownLast(db.identity());
        id = c.id;
        // Said before it happens: "last" is a choice the operator should see made.
        QTextStream(stdout) << "Undoing conversion " << id << " of " << conversionlog::shownTime(c.startedAt) << " by "
                            << c.user << '@' << c.host << ": " << c.records << " record" << (c.records == 1 ? "" : "s")
                            << " from " << c.reportPath << '\n';
    } else {
        bool number = false;
        id = which.toLongLong(&number);
        if (!number || id <= 0)
            throw Misused{QStringLiteral("'%1' is neither a conversion id nor 'last'.").arg(which)};
    }
    // The store says why it refuses: unknown, undone already, or records gone.
    const qint64 removed = undoConversion(db, id);
    QTextStream(stdout) << "Conversion " << id << " undone: " << removed << " record" << (removed == 1 ? "" : "s")
                        << " removed from " << db.path() << '\n';
    return exitStatus::converted;
}

// A folder where nothing was converted: an empty log is no error, but there is nothing to export or undo.
int nothingConvertedYet(const QString &command, const QString &name)
{
    const QFileInfo file(name);
    QTextStream(stderr) << "zefto-records: No conversion has been made in "
                        << QDir::toNativeSeparators(file.absolutePath()) << " yet (there is no " << file.fileName()
                        << " there).\n";
    const bool reading = command == QLatin1String("log") || command == QLatin1String("show");
    return reading ? exitStatus::converted : exitStatus::failed;
}

} // namespace

int main(int argc, char **argv)
try {
    if (const QString bad = cli::undecodableFileArgument(argc, argv); !bad.isEmpty()) {
        QTextStream(stderr) << "zefto-records: " << bad << '\n';
        return exitStatus::usage;
    }
    QCoreApplication app(argc, argv);
    // A file size limit then fails the write with EFBIG, reported like any other cause.
    std::signal(SIGXFSZ, SIG_IGN);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("database"), QString(), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("format"), QString(), QStringLiteral("table|csv"), QStringLiteral("table")});
    parser.addOption({QStringLiteral("conversion"), QString(), QStringLiteral("ID")});
    parser.addOption({QStringLiteral("filter"), QString(), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("force"), QString()});
    parser.addOption({QStringLiteral("skip-rule"), QString(), QStringLiteral("N")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({QStringLiteral("version"), QString()});
    if (!parser.parse(app.arguments())) {
        err << "zefto-records: " << parser.errorText() << '\n' << usage;
        return exitStatus::usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << usage;
        return exitStatus::converted;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        QTextStream(stdout) << "zefto-records " ZEFTO_VERSION "\n";
        return exitStatus::converted;
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const QString format = parser.value(QStringLiteral("format"));
    const auto optional = [&](const char *name) {
        const QString n = QString::fromLatin1(name);
        return parser.isSet(n) ? std::optional(parser.value(n)) : std::nullopt;
    };
    try {
        if (format != QLatin1String("table") && format != QLatin1String("csv"))
            throw Misused{QStringLiteral("--format is table or csv, not '%1'.").arg(format)};
        const QHash<QString, int> arity{{QStringLiteral("log"), 1},
                                        {QStringLiteral("show"), 1},
                                        {QStringLiteral("export"), 2},
                                        {QStringLiteral("undo"), 2},
                                        {QStringLiteral("check"), 1}};
        if (!arity.contains(command))
            throw Misused{command.isEmpty() ? QStringLiteral("no command given.")
                                            : QStringLiteral("'%1' is not a command.").arg(command)};
        if (args.size() != arity.value(command))
            throw Misused{QStringLiteral("%1 takes %2.")
                              .arg(command, arity.value(command) == 1 ? QStringLiteral("no argument")
                                            : command == QLatin1String("undo")
                                                ? QStringLiteral("ID or last")
                                                : QStringLiteral("FILE.csv or FILE.xlsx"))};
        if ((command == QLatin1String("log") || command == QLatin1String("undo"))
            && (parser.isSet(QStringLiteral("conversion")) || parser.isSet(QStringLiteral("filter"))))
            throw Misused{QStringLiteral("%1 takes neither --conversion nor --filter.").arg(command)};
        if (parser.isSet(QStringLiteral("force")) && command != QLatin1String("export"))
            throw Misused{QStringLiteral("--force belongs to export.")};
        if (parser.isSet(QStringLiteral("skip-rule")) && command != QLatin1String("check"))
            throw Misused{QStringLiteral("--skip-rule belongs to check.")};

        const QString name = location::resolved(location::chosen(optional("database")));
        if (records::notCreatedYet(name))
            return nothingConvertedYet(command, name);
        Records records(name);
        if (command == QLatin1String("log"))
            return logCommand(records, format);
        if (command == QLatin1String("show"))
            return showCommand(records, optional("conversion"), optional("filter"), format);
        if (command == QLatin1String("check"))
            return checkCommand(
                records.open(false), [&](const auto &c) { return records.keys(c); }, optional("conversion"),
                optional("filter"), format, parser.values(QStringLiteral("skip-rule")),
                [](const QString &why) { throw Misused{why}; });
        if (command == QLatin1String("export"))
            return exportCommand(records, args[1], optional("conversion"), optional("filter"),
                                 parser.isSet(QStringLiteral("force")));
        return undoCommand(records, args[1]);
    } catch (const Misused &m) {
        err << "zefto-records: " << m.why << '\n' << usage;
        return exitStatus::usage;
    } catch (const Refused &r) {
        err << "zefto-records: " << r.why << '\n';
    } catch (const Error &e) {
        err << "zefto-records: error " << e.number() << ": " << e.description() << '\n';
    }
    return exitStatus::failed;
} catch (const std::bad_alloc &) {
    // Whatever a run held was taken back as the stack unwound; an abort would say nothing.
    std::fputs("zefto-records: out of memory\n", stderr);
    return exitStatus::failed;
}
