#pragma once

#include "dbtestutil.h"
#include "engine.h"
#include "fakewindow.h"
#include "layout.h"
#include "pgserver.h"
#include "reportbuilder.h"
#include "tempdir.h"

#include <memory>

enum class Backend { File, Postgres };

// A temporary directory with the database opened as the window opens it
// (ovrek1.mdb there, or a throwaway PostgreSQL server's), an engine on a
// recording window, and helpers to lay out reports line by line.
class RunFixture : public TempDirTest {
protected:
    virtual Backend backend() const = 0;

    void SetUp() override
    {
        TempDirTest::SetUp();
        if (backend() == Backend::Postgres) {
            server = killsServer() ? std::unique_ptr<PgTarget>(std::make_unique<PgServer>())
                                   : std::make_unique<PgDatabase>();
            ASSERT_TRUE(server->isRunning());
        }
        engine.openDatabase(databaseName());
    }

    // The name the engine is given for the backend under test.
    QString databaseName() const { return server ? server->uri() : QStringLiteral("ovrek1.mdb"); }

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
        const QString sql = QStringLiteral("SELECT %1 FROM ovrekson ORDER BY id").arg(columns);
        return server ? server->query(sql) : rawRows(path(QStringLiteral("ovrek1.mdb")), sql);
    }

    // The window as the operator can use it after every end of a run.
    void expectUsable()
    {
        EXPECT_TRUE(window.okEnabled);
        EXPECT_TRUE(window.cancelEnabled);
        EXPECT_FALSE(window.progressVisible);
        EXPECT_FALSE(engine.report.isOpen());
    }

    // A test that stops or kills the server needs one of its own.
    virtual bool killsServer() const { return false; }
    PgServer &ownServer() { return dynamic_cast<PgServer &>(*server); }

    std::unique_ptr<PgTarget> server; // declared first: it outlives the engine's connection
    FakeWindow window;
    zefto::Engine engine{window};
};

// The fixture on the file backend, for what only a file can do.
class RunTest : public RunFixture {
protected:
    Backend backend() const override { return Backend::File; }
};

// The fixture on each backend in turn: the behaviour every backend owes.
class BackendRunTest : public RunFixture, public ::testing::WithParamInterface<Backend> {
protected:
    Backend backend() const override { return GetParam(); }
};

inline std::string backendName(const ::testing::TestParamInfo<Backend> &info)
{
    return info.param == Backend::File ? "File" : "Postgres";
}
