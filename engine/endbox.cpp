#include "endbox.h"

namespace zefto::endbox {

QString text(const RunOutcome &o)
{
    QString text = o.message.section(u'\n', 0, 0);
    if (o.notAReport)
        text += QStringLiteral("\n'%1' does not look like a share table report.").arg(o.reportPath);
    const qsizetype rest = o.message.indexOf(u'\n');
    if (rest >= 0)
        text += o.message.mid(rest);

    text += QStringLiteral("\n\n");
    // Most failures already name the report; the box says it once.
    if (!o.reportPath.isEmpty() && !o.message.contains(o.reportPath))
        text += QStringLiteral("Report: %1\n").arg(o.reportPath);
    text += QStringLiteral("Records stored: %1").arg(o.recordsStored);
    if (!o.database.isEmpty())
        text += QStringLiteral("\nDatabase: %1").arg(o.database);

    // The records are in the table all the same: the clerk must not simply convert again.
    if (o.end == RunOutcome::End::InvalidFile && o.recordsStored > 0)
        text += QStringLiteral("\n\nNo father's name in this report needed the Ğ repair, so it may not come from the "
                               "expected printer. Check the records, and undo the conversion if they are wrong.");
    return text;
}

} // namespace zefto::endbox
