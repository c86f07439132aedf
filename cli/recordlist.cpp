#include "recordlist.h"

#include "error.h"
#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

namespace zefto::cli {

void printRecords(const QString &path, const QList<std::pair<qint64, qint64>> &keyRanges)
{
    QTextStream out(stdout);
    QStringList columns;
    for (const QString &f : schema::fieldNames())
        columns << u'"' + f + u'"';
    out << schema::fieldNames().join(u'\t') << '\n';
    QStringList where;
    for (const auto &[first, last] : keyRanges)
        if (first > 0)
            where << QStringLiteral("rowid BETWEEN %1 AND %2").arg(first).arg(last);
    if (where.isEmpty())
        return;
    const QString name = QStringLiteral("zefto-list");
    QString problem;
    {
        // A read-only connection of its own, closed before returning.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY rowid")
                            .arg(columns.join(u','), QLatin1String(schema::tableName), where.join(QLatin1String(" OR ")))))
                problem = q.lastError().text();
            while (problem.isEmpty() && q.next()) {
                QStringList cells;
                for (int i = 0; i < columns.size(); ++i)
                    cells << (q.value(i).isNull() ? QStringLiteral("(null)") : q.value(i).toString());
                out << cells.join(u'\t') << '\n';
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!problem.isEmpty())
        throw Error(err::Reserved, QStringLiteral("Cannot list the records of '%1': %2.").arg(path, problem));
}

} // namespace zefto::cli
