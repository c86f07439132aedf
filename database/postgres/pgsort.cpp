// The sorted reads of PostgresStore: the server orders the keys and sends
// them back as one text.
#include "browse.h"
#include "pgstore.h"
#include "turkishorder.h"

#include <QVariant>

namespace zefto::postgres {

// ICU's Turkish collation when the server has it (built with ICU, as
// Debian's is): the order SQLite's files are sorted in. Without it, the
// database's own collation.
QString PostgresStore::textOrder()
{
    if (!m_textOrder) {
        const Rows rows = m_connection.exec(QStringLiteral("SELECT count(*) FROM pg_collation WHERE collname = '%1'")
                                                .arg(QLatin1String(TurkishOrder::serverCollation)));
        const bool turkish = !rows.isEmpty() && rows.front().at(0).toLongLong() > 0;
        m_textOrder = turkish ? QStringLiteral(" COLLATE \"%1\"").arg(QLatin1String(TurkishOrder::serverCollation))
                              : QString();
    }
    return *m_textOrder;
}

std::vector<qint64> PostgresStore::sortedKeys(KeyRange within, int field, bool descending, qint64 limit)
{
    finishCopy();
    const QString collate = textOrder();
    // Only text that reads as a number is cast (a cast of other text would fail); the rest has none.
    const QString order =
        browse::sortedKeysStatement(keyName(), within, {field, descending, limit}, [&](const QString &c, bool number) {
            return number ? QStringLiteral("CASE WHEN %1 ~ '^ *[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+) *$' THEN CAST(%1 AS "
                                           "double precision) END")
                                .arg(c)
                          : c + collate;
        });
    // One row of text instead of a row a key: a million rows through the driver take seconds.
    const Rows rows =
        m_connection.exec(QStringLiteral("SELECT string_agg(k::text, ',') FROM (%1) AS sorted(k)").arg(order));
    std::vector<qint64> keys;
    if (rows.isEmpty() || rows.front().at(0).isNull())
        return keys;
    const QByteArray text = rows.front().at(0).toString().toLatin1();
    keys.reserve(size_t(text.count(',') + 1));
    for (qsizetype from = 0; from < text.size();) {
        qsizetype to = text.indexOf(',', from);
        if (to < 0)
            to = text.size();
        keys.push_back(QByteArrayView(text).sliced(from, to - from).toLongLong());
        from = to + 1;
    }
    return keys;
}

} // namespace zefto::postgres
