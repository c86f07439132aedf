// Replays the fuzz seeds and every crashing input kept in crashes/ through
// the checks the fuzz targets run, so a fixed fault stays fixed.
#include "checks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
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

// Every file through both checks: a report that troubles the text rules is
// a report a run has to convert as well.
void replay(const QStringList &files)
{
    for (const QString &f : files) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.toStdString();
        const QByteArray bytes = file.readAll();
        for (auto check : {fuzzcheck::checkReportText, fuzzcheck::checkRun}) {
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

TEST(FuzzRegression, KeptCrashesPassEveryCheck)
{
    replay(inputsUnder(QStringLiteral("crashes")));
}

} // namespace
