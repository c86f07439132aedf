#include "recordlist.h"

#include "recordrows.h"
#include "schema.h"

#include <QLocale>
#include <algorithm>

namespace zefto::cli {
namespace {

QString shown(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Text: return records::escapedControls(v.asText());
    case Value::Kind::Double: return QString::number(v.asDouble(), 'g', QLocale::FloatingPointShortest);
    default: return QStringLiteral("(null)");
    }
}

} // namespace

void printRecords(Database &db, const QList<KeyRange> &keyRanges, QTextStream &out)
{
    const QStringList &fields = schema::fieldNames();
    out << fields.join(u'\t') << '\n';
    if (std::none_of(keyRanges.begin(), keyRanges.end(), [](const KeyRange &r) { return r.first > 0; }))
        return;
    QList<int> at; // where each of our fields stands in the store's records
    db.readRecords(keyRanges, [&](const QStringList &columns, const Record &r) {
        if (at.isEmpty())
            for (const QString &f : fields)
                at << int(columns.indexOf(f));
        QStringList cells;
        for (int i : at)
            cells << shown(r[i]);
        out << cells.join(u'\t') << '\n';
    });
}

} // namespace zefto::cli
