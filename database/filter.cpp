#include "filter.h"

namespace zefto::filter {

std::array<int, fields.size()> positions(const QStringList &columns)
{
    std::array<int, fields.size()> at{};
    for (size_t i = 0; i < fields.size(); ++i)
        at[i] = int(columns.indexOf(schema::fieldName(fields[i])));
    return at;
}

bool matches(const std::array<int, fields.size()> &at, const Record &record, FoldedNeedle &needle)
{
    for (int i : at)
        if (i >= 0 && size_t(i) < record.size() && record[size_t(i)].isText()
            && needle.foundIn(record[size_t(i)].asText()))
            return true;
    return false;
}

} // namespace zefto::filter
