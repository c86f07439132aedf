// Replays the fuzz seeds and every crashing input kept in crashes/ through
// the checks the fuzz targets run, so a fixed fault stays fixed.
#include "checks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

QStringList inputsUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(QStringLiteral(ZEFTO_FUZZ_DIR "/") + folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (!f.endsWith(QStringLiteral(".md")))
            files << f;
    }
    files.sort();
    return files;
}

// The order libFuzzer runs a corpus at start: shortest first, then by name.
QStringList inFuzzerOrder(QStringList files)
{
    std::stable_sort(files.begin(), files.end(),
                     [](const QString &a, const QString &b) { return QFileInfo(a).size() < QFileInfo(b).size(); });
    return files;
}

// Every file through both checks: a report that troubles the text rules is
// a report a run has to convert as well.
void replay(const QStringList &files, std::initializer_list<void (*)(const QByteArray &)> checks = {
                                          fuzzcheck::checkReportText, fuzzcheck::checkRun})
{
    for (const QString &f : files) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.toStdString();
        const QByteArray bytes = file.readAll();
        for (auto check : checks) {
            try {
                check(bytes);
            } catch (const fuzzcheck::CheckFailure &e) {
                ADD_FAILURE() << f.toStdString() << ": " << e.what();
            }
        }
    }
    fuzzcheck::releaseRun();
}

TEST(FuzzRegression, SeedsPassEveryCheck)
{
    const QStringList seeds = inputsUnder(QStringLiteral("seeds"));
    EXPECT_GE(seeds.size(), 10);
    replay(seeds);
}

// Each target's seeds as its fuzzer meets them: one run state for all, in the
// fuzzer's order, then once more as the grown corpus holds them again (every
// report one converted before), so a check that forgets a way a run ends fails here.
TEST(FuzzRegression, SeedsPassTheirTargetsChecksInTheFuzzersOrderTwice)
{
    fuzzcheck::releaseRun();
    const QStringList runs = inFuzzerOrder(inputsUnder(QStringLiteral("seeds/fuzz_run")));
    EXPECT_GE(runs.size(), 10);
    replay(runs + runs, {fuzzcheck::checkRun});
    replay(inFuzzerOrder(inputsUnder(QStringLiteral("seeds/fuzz_report_text"))), {fuzzcheck::checkReportText});
}

TEST(FuzzRegression, KeptCrashesPassEveryCheck)
{
    replay(inputsUnder(QStringLiteral("crashes")));
}

} // namespace
