// The first reading of a conversion on its own: the report's lines counted
// and its SHA-256 taken (ReportReader::survey), the first call (which faults
// the code and the page cache in) apart, then the medians of PASSES surveys
// and of PASSES countings without the hash: survey_bench REPORT [PASSES].
#include "reportreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using zefto::ReportReader;

namespace {

double milliseconds(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

double median(const std::function<void()> &f, int passes)
{
    std::vector<double> times;
    for (int i = 0; i < passes; ++i)
        times.push_back(milliseconds(f));
    std::nth_element(times.begin(), times.begin() + passes / 2, times.end());
    return times[size_t(passes / 2)];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: survey_bench REPORT [PASSES]\n", stderr);
        return 64;
    }
    const QString report = QString::fromLocal8Bit(argv[1]);
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 41;
    ReportReader::Survey s;
    const double first = milliseconds([&] { s = ReportReader::survey(report); });
    const double survey = median([&] { s = ReportReader::survey(report); }, passes);
    const double counting = median([&] { ReportReader::countLines(report); }, passes);
    std::printf(
        "%d lines, %lld bytes, sha256 %s\nfirst survey %.3f ms, survey %.3f ms, counting alone %.3f ms "
        "(medians of %d)\n",
        s.lines, static_cast<long long>(s.size), qPrintable(s.sha256), first, survey, counting, passes);
    return 0;
}
