// The share check a conversion runs, on its own: feeds the records of a
// converted database to RunCheck as a run would and prints the counts and the
// median time of the passes, each record read just before it is checked as
// a run makes it: runcheck_bench DATABASE [PASSES]. Under `valgrind
// --tool=callgrind --toggle-collect='*RunCheck::stored*'
// --toggle-collect='*RunCheck::settle*'` it counts the check's instructions alone.
#include "chosen.h"
#include "database.h"
#include "runcheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

using namespace zefto;
using namespace zefto::records;

namespace {

// Reads every character of a record, as making it did in a run: the check then
// finds it in the cache, not in memory. Returns a sum, so nothing is skipped.
__attribute__((noinline)) quint64 touch(const Record &r)
{
    quint64 sum = 0;
    for (const Value &v : r)
        for (const QChar c : v.asText())
            sum += c.unicode();
    return sum;
}

__attribute__((noinline)) WatchedRun checkPass(RunCheck &check, const QStringList &columns,
                                               const std::vector<Record> &records, quint64 &sum)
{
    check.begin(columns);
    for (const Record &r : records) {
        sum += touch(r);
        check.stored(r);
    }
    return check.settle();
}

quint64 touchPass(const std::vector<Record> &records)
{
    quint64 sum = 0;
    for (const Record &r : records)
        sum += touch(r);
    return sum;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: runcheck_bench DATABASE [PASSES]\n", stderr);
        return 64;
    }
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    Database db;
    db.open(QString::fromLocal8Bit(argv[1]));
    // The columns of the table this program creates: the key, then the 19 fields.
    const QStringList columns = QStringList{QStringLiteral("id")} + recordFields();
    std::vector<Record> records;
    forEachChosenKeyed(db, allKeys, std::nullopt, [&](qint64 key, Fields f) {
        Record r{Value::number(double(key))};
        r.insert(r.end(), f.begin(), f.end());
        records.push_back(std::move(r));
    });
    // Each pass times the records read alone, then read and checked; the check's
    // time is the difference (medians of the passes).
    RunCheck check;
    std::vector<qint64> ns, touchNs;
    WatchedRun run;
    quint64 sum = 0;
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer t;
        t.start();
        sum += touchPass(records);
        touchNs.push_back(t.nsecsElapsed());
        t.start();
        run = checkPass(check, columns, records, sum);
        ns.push_back(t.nsecsElapsed());
    }
    std::sort(ns.begin(), ns.end());
    std::sort(touchNs.begin(), touchNs.end());
    for (int r = 0; r < 4; ++r)
        std::printf("rule %d: checked %lld, broken %lld, unreadable %lld\n", r + 1,
                    qint64(run.rules[size_t(r)].checked), qint64(run.rules[size_t(r)].broken),
                    qint64(run.rules[size_t(r)].unreadable));
    std::printf("%zu records, %lld parcels, %lld off, %lld records off; median of %d passes: %.2f ms\n", records.size(),
                qint64(run.shares.parcels), qint64(run.shares.parcelsOff), qint64(run.shares.recordsOff), passes,
                (ns[ns.size() / 2] - touchNs[touchNs.size() / 2]) / 1e6);
    std::printf("(reading the records alone: %.2f ms; checksum %llu)\n", touchNs[touchNs.size() / 2] / 1e6,
                (unsigned long long)sum);
    return 0;
}
