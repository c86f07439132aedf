#include "connection.h"

#include <gtest/gtest.h>

using namespace zefto;
using namespace zefto::sqlite;

namespace {

qint64 rows(Connection &db)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM t"));
}

// Every guard let go by an exception leaves nothing of its work and the connection as it was.
TEST(ConnectionTest, GuardsUndoTheirWorkWhenTheScopeThrows)
{
    Connection db;
    db.open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE, 250);
    db.exec(QStringLiteral("CREATE TABLE t(x)"));
    for (const Transaction::Kind kind : {Transaction::Kind::Deferred, Transaction::Kind::Immediate,
                                         Transaction::Kind::Savepoint}) {
        SCOPED_TRACE(int(kind));
        // A savepoint stands inside a transaction its caller keeps.
        std::optional<Transaction> outer;
        if (kind == Transaction::Kind::Savepoint)
            outer.emplace(db, Transaction::Kind::Deferred);
        EXPECT_THROW(
            {
                BusyTimeout noWait(db, 0);
                Transaction t(db, kind);
                db.exec(QStringLiteral("INSERT INTO t VALUES(1)"));
                db.exec(QStringLiteral("INSERT INTO missing VALUES(1)"));
                t.commit();
            },
            Error);
        EXPECT_EQ(rows(db), 0);
        EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA busy_timeout")), 250);
        EXPECT_EQ(db.inTransaction(), kind == Transaction::Kind::Savepoint);
        outer.reset();
        EXPECT_FALSE(db.inTransaction());
    }
    Transaction kept(db, Transaction::Kind::Immediate);
    db.exec(QStringLiteral("INSERT INTO t VALUES(1)"));
    kept.commit();
    kept.rollback();
    EXPECT_EQ(rows(db), 1);
}

} // namespace
