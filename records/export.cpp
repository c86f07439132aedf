#include "export.h"

#include "chosen.h"
#include "csvwriter.h"
#include "recordrows.h"
#include "xlsxwriter.h"

#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace zefto::records {
namespace {

Refusal unwritable(const QString &path, const QString &why)
{
    return Refusal{QStringLiteral("Cannot write '%1': %2.").arg(path, why)};
}

qint64 writeCsv(Database &db, const QString &path, KeyRange keys, const std::optional<QString> &filter)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw unwritable(path, out.errorString());
    CsvWriter csv(out, true);
    csv.header(recordFields());
    qint64 n = 0;
    forEachChosen(db, keys, filter, [&](const std::vector<Value> &r) {
        csv.row(r);
        ++n;
    });
    if (!csv.ok())
        throw Refusal{QStringLiteral("The records could not be written: %1.").arg(out.errorString())};
    if (!out.commit())
        throw unwritable(path, out.errorString());
    return n;
}

} // namespace

bool exportable(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("csv") || suffix == QLatin1String("xlsx");
}

Exported exportRecords(Database &db, const QString &path, KeyRange keys, const std::optional<QString> &filter)
{
    if (QFileInfo(path).suffix().toLower() == QLatin1String("csv"))
        return {writeCsv(db, path, keys, filter), 0};
    // A sheet has a fixed number of rows: count first, so nothing half-written is left.
    if (const qint64 n = countChosen(db, keys, filter); n > XlsxWriter::maxRecords)
        throw Refusal{QStringLiteral("%1 records are more than a sheet holds (%2); export them to a .csv file, or "
                                     "one conversion at a time.")
                          .arg(n)
                          .arg(QLocale(QLocale::English).toString(XlsxWriter::maxRecords))};
    XlsxWriter xlsx(path);
    xlsx.header(recordFields());
    qint64 n = 0;
    forEachChosen(db, keys, filter, [&](const std::vector<Value> &r) {
        xlsx.row(r);
        ++n;
    });
    xlsx.close();
    return {n, xlsx.replacedCharacters()};
}

} // namespace zefto::records
