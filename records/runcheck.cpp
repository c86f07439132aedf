#include "runcheck.h"

#include "error.h"
#include "sharecheck.h"

namespace zefto::records {

void checkRun(Database &db, RunOutcome &o)
{
    const ShareCheck check =
        checkShares(db, {o.firstKey, o.lastKey}, std::nullopt, allRules, [](const ShareFinding &) {});
    o.shares = SharesChecked{check.parcels, check.parcelsOff, check.recordsOff, QString()};
    try {
        db.logCheck(o.conversionId, check.rules);
    } catch (const Error &) {
        // The records and the counts stand; the log only misses its copy of them.
    }
}

QString runLine(const SharesChecked &s, qint64 conversionId)
{
    if (!s.failure.isEmpty())
        return QStringLiteral("shares: not checked: %1").arg(s.failure);
    const QString parcels =
        s.parcels == 1 ? QStringLiteral("1 new parcel") : QStringLiteral("%1 new parcels").arg(s.parcels);
    QString line = s.parcelsOff == 0 ? QStringLiteral("shares: %1, all add up").arg(parcels)
                                     : QStringLiteral("shares: %1 of %2 %3")
                                           .arg(s.parcelsOff)
                                           .arg(parcels, s.parcelsOff == 1 ? QStringLiteral("does not add up")
                                                                           : QStringLiteral("do not add up"));
    if (s.recordsOff > 0)
        line += s.recordsOff == 1
                    ? QStringLiteral("; 1 record's title deed or allocation does not match")
                    : QStringLiteral("; %1 records' title deeds or allocations do not match").arg(s.recordsOff);
    if (s.parcelsOff > 0 || s.recordsOff > 0)
        line += QStringLiteral(" (zefto-records check --conversion %1)").arg(conversionId);
    return line;
}

} // namespace zefto::records
