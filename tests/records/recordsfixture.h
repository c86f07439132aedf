#pragma once

#include "dbtestutil.h"
#include "engine.h"
#include "pgserver.h"
#include "reportbuilder.h"
#include "schema.h"
#include "tempdir.h"

#include <memory>

enum class Backend { File, Postgres };

inline std::string backendName(const ::testing::TestParamInfo<Backend> &info)
{
    return info.param == Backend::File ? "File" : "Postgres";
}

// A database on either backend, filled with records directly or through the
// engine's real runs, and read back with a connection of the test's own.
class RecordsFixture : public TempDirTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        if (GetParam() == Backend::Postgres) {
            server = std::make_unique<PgDatabase>();
            ASSERT_TRUE(server->isRunning());
        }
    }

    QString database() const { return server ? server->uri() : path(QStringLiteral("ovrek1.mdb")); }

    QList<QVariantList> query(const QString &sql) const
    {
        return server ? server->query(sql) : rawRows(database(), sql);
    }
    qint64 stored() const
    {
        return query(QStringLiteral("SELECT count(*) FROM ovrekson")).value(0).value(0).toLongLong();
    }

    // Stores one record per owner name, in order, in one run; their keys are 1.. on a fresh table.
    void storeOwners(const QStringList &owners)
    {
        zefto::Database db;
        db.open(database());
        db.beginRun([](bool) {});
        zefto::Recordset rs = db.openRecordset(QStringLiteral("ovrekson"));
        for (const QString &owner : owners) {
            fillRecord(rs, owner);
            rs.update();
        }
        rs.close();
        db.commitRun();
        db.close();
    }

    // A report of `owners` owner lines with a Ğ in the fathers' names, so it ends "Converted".
    QString report(const QString &name, int owners, const QString &tag = QStringLiteral("SAHİP"))
    {
        std::vector<QByteArray> lines;
        for (int i = 0; i < owners; ++i) {
            report::Row r = report::sampleRow(i);
            r.owner = QStringLiteral("%1 NO%2").arg(tag).arg(i);
            r.father = QStringLiteral("DOĞAN");
            lines.push_back(report::ownerLine(r));
        }
        return write(name, report::join(report::paginate(lines)));
    }

    // Converts a report into the database as the converter does, logging the run.
    zefto::RunOutcome convert(const QString &reportPath)
    {
        struct Quiet : zefto::WindowPort {
            QString path;
            QString text1() const override { return path; }
            void setCommand1Enabled(bool) override {}
            void setCommand3Enabled(bool) override {}
            void setProgressVisible(bool) override {}
            void setProgressMin(float) override {}
            void setProgressMax(float) override {}
            void setProgressValue(float) override {}
            void msgBox(const QString &, zefto::MessageIcon) override {}
        } window;
        window.path = reportPath;
        zefto::Engine engine(window);
        engine.mahalle = QStringLiteral("Tarçınbağı");
        engine.useDatabase(database());
        return engine.Command1_Click();
    }

    std::unique_ptr<PgDatabase> server;
};
