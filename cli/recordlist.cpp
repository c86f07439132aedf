#include "recordlist.h"

#include "schema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

namespace zefto::cli {
namespace {

// A read-only connection of its own, closed before returning.
template <typename F> void withQuery(const QString &path, const QString &sql, F &&each)
{
    const QString name = QStringLiteral("zefto-list");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql))
                while (q.next())
                    each(q);
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

qint64 lastRecordId(const QString &path)
{
    qint64 id = 0;
    withQuery(path, QStringLiteral("SELECT coalesce(max(rowid), 0) FROM ovrekson"),
              [&](QSqlQuery &q) { id = q.value(0).toLongLong(); });
    return id;
}

void printRecords(const QString &path, qint64 afterId)
{
    QTextStream out(stdout);
    QStringList columns;
    for (const QString &f : schema::fieldNames())
        columns << u'"' + f + u'"';
    out << schema::fieldNames().join(u'\t') << '\n';
    withQuery(path,
              QStringLiteral("SELECT %1 FROM ovrekson WHERE rowid > %2 ORDER BY rowid").arg(columns.join(u','))
                  .arg(afterId),
              [&](QSqlQuery &q) {
                  QStringList cells;
                  for (int i = 0; i < columns.size(); ++i)
                      cells << (q.value(i).isNull() ? QStringLiteral("(null)") : q.value(i).toString());
                  out << cells.join(u'\t') << '\n';
              });
}

} // namespace zefto::cli
