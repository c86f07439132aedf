#pragma once

#include "outcome.h"
#include "recordrows.h"
#include "recordwatch.h"
#include "sharecheck.h"

#include <optional>

namespace zefto::records {

// The check every conversion gets: all four rules over the run's own
// records, counted as the run stores them, so the counts go into its log
// entry in the run's own transaction and into `outcome.shares`. It gives
// what `zefto-records check --conversion N` gives for the run.
class RunCheck final : public RecordWatch {
public:
    void begin(const QStringList &columns) override;
    void stored(const Record &record) override;
    WatchedRun settle() override;

private:
    std::optional<FieldPlaces> m_places;
    std::optional<ShareChecker> m_checker;
    std::vector<Value> m_fields; // the record at hand as the 19 fields, reused
};

// The line that tells it: "shares: 41 new parcels, all add up", or what does
// not and the command that lists it.
QString runLine(const SharesChecked &shares, qint64 conversionId);

} // namespace zefto::records
