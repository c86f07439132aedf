#include "endbox.h"

#include <QCoreApplication>

namespace zefto::endbox {
namespace {

// The check of the run's shares, in the words zefto-convert prints after its summary.
QString sharesFact(const SharesChecked &s, qint64 conversionId)
{
    if (!s.failure.isEmpty())
        return QCoreApplication::translate("zefto::endbox", "Shares: not checked: %1").arg(s.failure);
    QString fact;
    if (s.parcelsOff == 0)
        fact = QCoreApplication::translate("zefto::endbox", "Shares: %1 new parcels, all add up").arg(s.parcels);
    else if (s.parcelsOff == 1)
        fact =
            QCoreApplication::translate("zefto::endbox", "Shares: 1 of %1 new parcels does not add up").arg(s.parcels);
    else
        fact = QCoreApplication::translate("zefto::endbox", "Shares: %1 of %2 new parcels do not add up")
                   .arg(s.parcelsOff)
                   .arg(s.parcels);
    if (s.recordsOff > 0)
        fact += QCoreApplication::translate("zefto::endbox", "; %1 records' title deeds or allocations do not match")
                    .arg(s.recordsOff);
    if (s.parcelsOff > 0 || s.recordsOff > 0)
        fact += u' '
                + QCoreApplication::translate("zefto::endbox",
                                              "(Show records, then Check; or zefto-records check --conversion %1)")
                      .arg(conversionId);
    return fact;
}

} // namespace

QString text(const RunOutcome &o)
{
    // The first line is the run's own words in every language; only the facts below it are translated.
    QString text = o.message.section(u'\n', 0, 0);
    if (o.notAReport)
        text += u'\n'
                + QCoreApplication::translate("zefto::endbox", "'%1' does not look like a share table report.")
                      .arg(o.reportPath);
    const qsizetype rest = o.message.indexOf(u'\n');
    if (rest >= 0)
        text += o.message.mid(rest);

    text += QStringLiteral("\n\n");
    // Most failures already name the report; the box says it once.
    if (!o.reportPath.isEmpty() && !o.message.contains(o.reportPath))
        text += QCoreApplication::translate("zefto::endbox", "Report: %1").arg(o.reportPath) + u'\n';
    text += QCoreApplication::translate("zefto::endbox", "Records stored: %1").arg(o.recordsStored);
    if (!o.database.isEmpty())
        text += u'\n' + QCoreApplication::translate("zefto::endbox", "Database: %1").arg(o.database);
    if (o.shares)
        text += u'\n' + sharesFact(*o.shares, o.conversionId);

    // The records are in the table all the same: the clerk must not simply convert again.
    if (o.end == RunOutcome::End::InvalidFile && o.recordsStored > 0)
        text += QStringLiteral("\n\n")
                + QCoreApplication::translate("zefto::endbox",
                                              "No father's name in this report needed the Ğ repair, so it may not come "
                                              "from the expected printer. Check the records, and undo the conversion "
                                              "if they are wrong.");
    return text;
}

} // namespace zefto::endbox
