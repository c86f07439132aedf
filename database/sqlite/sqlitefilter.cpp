// The filtered reads of SqliteStore: the filter is tested inside SQLite by
// zefto_matches (matchfunction.h), so only matching records leave the file.
#include "sqlitestore.h"

#include "browse.h"
#include "matchfunction.h"

namespace zefto::sqlite {

void SqliteStore::readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                               const std::function<void(const Record &)> &each)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q =
        m_db.prepare(browse::matchingStatement(QStringLiteral("rowid"), within, after, limit, matchCondition()));
    bindAll(q.get(), {text});
    eachRow(q.get(), each);
}

void SqliteStore::matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                               const std::function<void(qint64 key)> &each)
{
    if (!m_db.isOpen())
        throw Error::of(err::ObjectInvalid);
    Statement q =
        m_db.prepare(browse::matchingKeysStatement(QStringLiteral("rowid"), within, after, upTo, matchCondition()));
    bindAll(q.get(), {text});
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
        each(sqlite3_column_int64(q.get(), 0));
    if (rc != SQLITE_DONE)
        throw m_db.error(rc);
}

} // namespace zefto::sqlite
