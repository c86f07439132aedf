#include "export.h"

#include "atomicfile.h"
#include "csvwriter.h"
#include "recordrows.h"
#include "spool.h"
#include "xlsxwriter.h"

#include <QFileInfo>
#include <QLocale>

namespace zefto::records {
namespace {

qint64 writeCsv(ChosenSpool &chosen, const QString &path)
{
    AtomicFile out(path);
    CsvWriter csv(out, true);
    csv.header(recordFields());
    chosen.forEach([&](const std::vector<Value> &r) { csv.row(r); });
    if (!csv.ok())
        throw Refusal{QStringLiteral("Cannot write '%1': %2; the previous file, if any, is untouched.")
                          .arg(out.target(), out.failure())};
    out.commit();
    return chosen.count();
}

// Refused before reading a million records into a file that cannot take their place.
void refuseUnreplaceable(const QString &path)
{
    if (const QString why = notReplaceable(path); !why.isEmpty())
        throw Refusal{QStringLiteral("Cannot write '%1': %2, not a regular file; nothing was written.").arg(path, why)};
}

// Writes the spooled records to `path`, CSV or XLSX by its suffix.
Exported write(ChosenSpool &chosen, const QString &path)
{
    if (QFileInfo(path).suffix().toLower() == QLatin1String("csv"))
        return {writeCsv(chosen, path), 0};
    // A sheet has a fixed number of rows: nothing half-written is left.
    if (chosen.count() > XlsxWriter::maxRecords)
        throw Refusal{QStringLiteral("%1 records are more than a sheet holds (%2); export them to a .csv file, or "
                                     "one conversion at a time.")
                          .arg(chosen.count())
                          .arg(QLocale(QLocale::English).toString(XlsxWriter::maxRecords))};
    XlsxWriter xlsx(path);
    xlsx.header(recordFields());
    chosen.forEach([&](const std::vector<Value> &r) { xlsx.row(r); });
    xlsx.close();
    return {chosen.count(), xlsx.replacedCharacters()};
}

} // namespace

bool exportable(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("csv") || suffix == QLatin1String("xlsx");
}

Exported exportRecords(Database &db, const QString &path, KeyRange keys, const std::optional<QString> &filter)
{
    refuseUnreplaceable(path);
    ChosenSpool chosen(db, keys, filter);
    return write(chosen, path);
}

Exported exportRecords(Database &db, const QString &path, const std::vector<KeyRange> &ranges,
                       const std::optional<QString> &filter)
{
    refuseUnreplaceable(path);
    ChosenSpool chosen(db, ranges, filter);
    return write(chosen, path);
}

} // namespace zefto::records
