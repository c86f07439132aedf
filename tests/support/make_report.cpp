// Writes a realistic share table report in CP857 for the examples and the
// benchmarks, its arithmetic holding but where --break RULE:AT breaks it:
// make-report [--rows N | --lines N] [--eol crlf|lf|cr] [--break RULE:AT] OUTPUT
#include "reportbuilder.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int rows = 120;
    int lines = 0;
    QByteArray eol = "\r\n";
    QString output;
    report::ShareBreak broken;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--rows") && i + 1 < args.size())
            rows = args[++i].toInt();
        else if (a == QLatin1String("--lines") && i + 1 < args.size())
            lines = args[++i].toInt();
        else if (a == QLatin1String("--eol") && i + 1 < args.size()) {
            const QString e = args[++i];
            eol = e == QLatin1String("lf") ? "\n" : e == QLatin1String("cr") ? "\r" : "\r\n";
        } else if (a == QLatin1String("--break") && i + 1 < args.size()) {
            const QStringList where = args[++i].split(u':');
            broken = {where.value(0).toInt(), where.value(1).toInt()};
            if (broken.rule < 1 || broken.rule > 4 || broken.at < 0)
                rows = 0; // refused below
        } else if (a.startsWith(u'-') || !output.isEmpty())
            rows = 0; // an unknown option or a second output: refused below, nothing written
        else
            output = a;
    }
    if (output.isEmpty() || rows < 1 || (lines != 0 && lines < 63)) {
        std::fputs(
            "usage: make-report [--rows N | --lines N (63 or more)] [--eol crlf|lf|cr] [--break RULE:AT] OUTPUT\n"
            "  --break 1:P or 2:P breaks new parcel P's shares or areas, 3:O or 4:O owner O's title deed\n"
            "  or allocation (counted from 0)\n",
            stderr);
        return 64;
    }
    // With --lines, fill every page but the table's closing rule, signature and blank line.
    const int pages = lines / 63;
    if (lines)
        rows = pages * 50 - 3;

    std::vector<QByteArray> table;
    for (const QByteArray &line : report::holdingTable(rows, broken)) {
        table.push_back(line);
        if (!lines && table.size() % 13 == 12)
            table.push_back(report::ruleLine()); // rule rows between parcels
    }
    std::vector<QByteArray> all = report::paginate(table);
    while (lines && int(all.size()) < lines)
        all.push_back(QByteArray());

    QFile f(output);
    if (!f.open(QIODevice::WriteOnly) || f.write(report::join(all, eol)) < 0) {
        std::fprintf(stderr, "make-report: cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("%s: %d lines, %d table rows\n", qPrintable(output), int(all.size()), rows);
    return 0;
}
