// The records window on a large table: records_window_bench --make FILE [RECORDS]
// builds an SQLite file of RECORDS share records (a million by default);
// records_window_bench FILE|ADDRESS then opens the window on it and prints how long
// opening, jumping to the end, scrolling and two filters take, and the peak memory.
#include "database.h"
#include "recordswindow.h"
#include "recordtablemodel.h"
#include "schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

using namespace zefto;

namespace {

double peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

// Owners cycle through Turkish names, so a filter matches one record in a few hundred.
int make(const QString &file, qint64 records)
{
    {
        Database db;
        db.open(file); // the table as the converter creates it
    }
    sqlite3 *h = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &h) != SQLITE_OK)
        return 2;
    const QByteArray sql =
        QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            "INSERT INTO ovrekson (yada, yparsel, yhispay, yhispayda, \"hisyuzolçumu\", yalan, adi, soyadi, babaadi, "
            "epafta, eada, eparsel, ehispay, ehispayda, ealan, tapu, dop, tahsis, mahalle) "
            "SELECT i / 50 + 100, i % 50 + 1, '1', '1', '980.00', '980.00', "
            "CASE i % 4 WHEN 0 THEN 'Ayşe Gül' WHEN 1 THEN 'İsmail Hakkı' WHEN 2 THEN 'Şükrü' ELSE 'Ömer' END || ' ' "
            "|| (i % 397), "
            "CASE i % 3 WHEN 0 THEN 'Işık' WHEN 1 THEN 'Doğan' ELSE NULL END, 'Ağa', '12', i / 40 + 1, i % 40 + 1, "
            "'1', '2', "
            "1250.5, 625.25, 250.1, 375.15, 'Tarçınbağı' FROM n")
            .arg(records)
            .toUtf8();
    char *error = nullptr;
    const int rc = sqlite3_exec(h, sql.constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK)
        std::fprintf(stderr, "records_window_bench: %s\n", error);
    sqlite3_free(error);
    sqlite3_close(h);
    return rc == SQLITE_OK ? 0 : 2;
}

// Processor time of this process so far: on a loaded machine the wall clock says more of the others.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds(QElapsedTimer &t)
{
    const double s = double(t.nsecsElapsed()) / 1e9;
    t.restart();
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--make"))
        return make(args[2], args.size() > 3 ? args[3].toLongLong() : 1000000);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: records_window_bench --make FILE [RECORDS] | records_window_bench FILE\n");
        return 64;
    }
    const double before = peakMiB();
    QElapsedTimer t;
    t.start();
    ui::RecordsWindow window(args[1]);
    window.show();
    QApplication::processEvents();
    const double open = seconds(t);

    window.table->scrollToBottom();
    QApplication::processEvents();
    const double end = seconds(t);

    // A page up at a time from the end, each painted: as a held Page Up key does.
    constexpr int pages = 200;
    QScrollBar *bar = window.table->verticalScrollBar();
    for (int i = 0; i < pages; ++i) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        window.table->viewport()->repaint();
    }
    const double scroll = seconds(t);

    window.table->scrollTo(window.model->index(int(window.model->total() / 2), 0), QAbstractItemView::PositionAtCenter);
    QApplication::processEvents();
    const double middle = seconds(t);

    window.filter->setText(QStringLiteral("ISMAIL HAKKI 17"));
    window.model->finishFiltering();
    QApplication::processEvents();
    const double filter = seconds(t);
    const qint64 matches = window.model->shown();

    // A filter matching one record in three (every surname Işık), counted to the end.
    const double thirdCpuBefore = cpuSeconds();
    window.filter->setText(QStringLiteral("isik"));
    window.model->finishFiltering();
    QApplication::processEvents();
    const double third = seconds(t);
    const qint64 thirdMatches = window.model->shown(); // before the filter is cleared below
    const double thirdCpu = cpuSeconds() - thirdCpuBefore;

    // Sorted by the owner both ways, then by a number kept as text: each until the first screen is painted.
    window.filter->clear();
    window.model->finishFiltering();
    QApplication::processEvents();
    seconds(t);
    // The new block grows with the key: descending, every record read beats those kept so far.
    double sorted[4], sortedCpu[4];
    const std::pair<int, Qt::SortOrder> sorts[4] = {{schema::Adi, Qt::AscendingOrder},
                                                    {schema::Adi, Qt::DescendingOrder},
                                                    {schema::Yada, Qt::DescendingOrder},
                                                    {schema::Yada, Qt::AscendingOrder}};
    for (int i = 0; i < 4; ++i) {
        const double cpu = cpuSeconds();
        window.table->sortByColumn(sorts[i].first, sorts[i].second);
        window.table->viewport()->repaint();
        sorted[i] = seconds(t);
        sortedCpu[i] = cpuSeconds() - cpu;
    }
    // The last rows of a sorted table: every key in order is read then.
    window.table->scrollToBottom();
    window.table->viewport()->repaint();
    const double sortedEnd = seconds(t);
    std::printf("sort_owner_up %.3f\nsort_owner_down %.3f\nsort_block_down %.3f\nsort_block_up %.3f\n"
                "sorted_jump_to_end %.3f\n",
                sorted[0], sorted[1], sorted[2], sorted[3], sortedEnd);
    std::printf("sort_owner_up_cpu %.3f\nsort_owner_down_cpu %.3f\nsort_block_down_cpu %.3f\nsort_block_up_cpu %.3f\n",
                sortedCpu[0], sortedCpu[1], sortedCpu[2], sortedCpu[3]);

    std::printf(
        "records %lld\nopen %.3f\njump_to_end %.3f\npage_scrolls %d\nscroll %.3f\njump_to_middle %.3f\n"
        "filter %.3f\nfilter_matches %lld\nfilter_third %.3f\nfilter_third_matches %lld\nfilter_third_cpu %.3f\n"
        "peak_before_mib %.1f\npeak_mib %.1f\n",
        window.model->total(), open, end, pages, scroll, middle, filter, matches, third, thirdMatches, thirdCpu, before,
        peakMiB());
    return 0;
}
