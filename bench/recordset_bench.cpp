// Time spent in the database per stored share record, with the converter's
// pattern (one run transaction, a recordset per 50-line page): recordset_bench [RECORDS]
#include "database.h"
#include "location.h"
#include "schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace zefto;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 26000;
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir dir;
        Database db;
        db.open(dir.filePath(QLatin1String(zefto::location::defaultFileName)));
        const QStringList &names = schema::fieldNames();
        std::vector<Value> texts;
        for (int i = 0; i < 100; ++i)
            texts.push_back(Value::text(QStringLiteral("  %1").arg(i)));
        const Value mahalle = Value::text(QStringLiteral("Tarçınbağı"));
        QElapsedTimer t;
        t.start();
        db.beginRun([](bool) {});
        Recordset rs;
        for (int i = 0; i < records; ++i) {
            if (i % 50 == 0) {
                if (rs.isOpen())
                    rs.close();
                rs = db.openRecordset(QLatin1String(zefto::schema::tableName));
            }
            if (i % 5 == 4) { // a continuation row reads the last record back
                rs.moveLast();
                for (int f = schema::Adi; f <= schema::Tahsis; ++f)
                    rs.field(names[f]);
            }
            rs.addNew();
            for (int f = 0; f < schema::Ealan; ++f)
                rs.setField(names[f], texts[(i + f) % 100]);
            for (int f = schema::Ealan; f <= schema::Tahsis; ++f)
                rs.setField(names[f], Value::number(i + 0.5));
            rs.setField(names[schema::Mahalle], mahalle);
            rs.update();
        }
        rs.close();
        db.commitRun();
        db.close();
        runs.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs[runs.size() / 2];
    std::printf("%d records: median %.3f s in the database, %.2f us per record (5 runs)\n", records, median,
                median * 1e6 / records);
    return 0;
}
