#pragma once

#include "dbtestutil.h"
#include "engine.h"
#include "layout.h"
#include "fakewindow.h"
#include "reportbuilder.h"
#include "tempdir.h"

// A temporary directory with ovrek1.mdb opened as the window opens it, an
// engine on a recording window, and helpers to lay out reports line by line.
class RunTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        engine.openDatabase(QStringLiteral("ovrek1.mdb"));
    }

    // A report of n lines: header and gap lines as printed, every data line
    // an owner row (father's names with Ğ when `withG`), others set by the test.
    std::vector<QByteArray> pages(int n, bool withG = false)
    {
        std::vector<QByteArray> lines(n);
        for (int i = 1; i <= n; ++i) {
            if (zefto::layout::inDataBlock(i)) {
                report::Row r = report::sampleRow(i);
                r.father = withG ? QStringLiteral("DOĞAN") : QStringLiteral("AHMET");
                r.owner = QStringLiteral("SATIR %1").arg(i); // the line number, to find rows again
                lines[i - 1] = report::ownerLine(r);
            } else {
                lines[i - 1] = report::headerLine(i);
            }
        }
        return lines;
    }

    zefto::RunOutcome run(const std::vector<QByteArray> &lines, const QByteArray &eol = "\r\n")
    {
        window.path = write(QStringLiteral("report.txt"), report::join(lines, eol));
        return engine.Command1_Click();
    }

    QList<QVariantList> rows(const QString &columns = QStringLiteral("adi, soyadi"))
    {
        return rawRows(path(QStringLiteral("ovrek1.mdb")),
                       QStringLiteral("SELECT %1 FROM ovrekson ORDER BY id").arg(columns));
    }

    // The window as the operator can use it after every end of a run.
    void expectUsable()
    {
        EXPECT_TRUE(window.okEnabled);
        EXPECT_TRUE(window.cancelEnabled);
        EXPECT_FALSE(window.progressVisible);
        EXPECT_FALSE(engine.report.isOpen());
    }

    FakeWindow window;
    zefto::Engine engine{window};
};
