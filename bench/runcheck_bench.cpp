// The share check a conversion runs, on its own: feeds the records of a
// converted database to RunCheck as a run would and prints the counts and the
// median time of the passes: runcheck_bench DATABASE [PASSES]. Under
// `valgrind --tool=callgrind --toggle-collect='*checkPass*'` it counts the
// check's instructions alone.
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

__attribute__((noinline)) WatchedRun checkPass(RunCheck &check, const QStringList &columns,
                                               const std::vector<Record> &records)
{
    check.begin(columns);
    for (const Record &r : records)
        check.stored(r);
    return check.settle();
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
    forEachChosenKeyed(db, allKeys, std::nullopt, [&](qint64 key, const std::vector<Value> &f) {
        Record r{Value::number(double(key))};
        r.insert(r.end(), f.begin(), f.end());
        records.push_back(std::move(r));
    });
    RunCheck check;
    std::vector<qint64> ns;
    WatchedRun run;
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer t;
        t.start();
        run = checkPass(check, columns, records);
        ns.push_back(t.nsecsElapsed());
    }
    std::sort(ns.begin(), ns.end());
    for (int r = 0; r < 4; ++r)
        std::printf("rule %d: checked %lld, broken %lld, unreadable %lld\n", r + 1,
                    qint64(run.rules[size_t(r)].checked), qint64(run.rules[size_t(r)].broken),
                    qint64(run.rules[size_t(r)].unreadable));
    std::printf("%zu records, %lld parcels, %lld off, %lld records off; median of %d passes: %.2f ms\n", records.size(),
                qint64(run.shares.parcels), qint64(run.shares.parcelsOff), qint64(run.shares.recordsOff), passes,
                ns[ns.size() / 2] / 1e6);
    return 0;
}
