#include "runcheck.h"

namespace zefto::records {

void RunCheck::begin(const QStringList &columns)
{
    m_places.emplace(columns);
    m_checker.reset(); // its findings are not kept: the counts are all a run tells
    m_checker.emplace(allRules, [](const ShareFinding &) {});
}

void RunCheck::stored(const Record &record)
{
    Q_ASSERT(m_checker && m_places);
    const Value *fields = m_places->inPlace(record);
    if (!fields) {
        m_places->fields(record, m_fields);
        fields = m_fields.data();
    }
    m_checker->record(m_places->key(record), fields);
}

WatchedRun RunCheck::settle()
{
    Q_ASSERT(m_checker);
    const ShareCheck check = m_checker->finish();
    m_checker.reset();
    return {check.rules, SharesChecked{check.parcels, check.parcelsOff, check.recordsOff, QString()}};
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
