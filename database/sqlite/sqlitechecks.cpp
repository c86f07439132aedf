#include "sqlitestore.h"

#include "sqliteerror.h"

#include <algorithm>

namespace zefto::sqlite {
namespace {

constexpr auto skipChecks = "PRAGMA ignore_check_constraints=ON";
constexpr auto keepChecks = "PRAGMA ignore_check_constraints=OFF";

} // namespace

// SQLite evaluates every CHECK of ovrekson for every record, a tenth of a
// conversion's time, though for the values this store binds the outcome is
// known beforehand: only zero-length text in a field refusing it fails. So
// while a run writes our own table (and only then: other programs and
// other tables keep every CHECK), its statements are compiled without them
// and each record is judged here first, refused with the very Error SQLite's
// refusal gives; a value whose fate SQLite alone knows (text in an area
// field, a byte order mark, a key) is stepped with the CHECKs compiled back in.
SqliteStore::Verdict SqliteStore::judgeAsTheTable(const Record &values, const Insert &insert, QString *refusedBy) const
{
    const Insert::Judging &j = insert.judging;
    if (j.run != m_runs)
        planJudging(insert);
    if (!m_inRun || j.sqliteDecides || values.size() < m_storedAsBound.size())
        return Verdict::SQLiteDecides;
    // Text stays text in an area field unless SQLite reads it as a number: its rule, not copied here.
    for (const int i : j.real)
        if (values[size_t(i)].isText())
            return Verdict::SQLiteDecides;
    // In a text field numbers become text (NaN NULL); a leading mark is taken off, and what is left may be empty.
    size_t refusing = m_zeroLength.size(); // of the checks refusing, SQLite names the first it tries
    for (const auto &[i, check] : j.text) {
        const Value &v = values[size_t(i)];
        if (!v.isText())
            continue;
        if (v.asText().isEmpty()) {
            if (check >= 0)
                refusing = std::min(refusing, size_t(check));
        } else if (startsWithByteOrderMark(v.asText())) {
            return Verdict::SQLiteDecides;
        }
    }
    if (refusing < m_zeroLength.size()) {
        *refusedBy = m_zeroLength[refusing].name;
        return Verdict::Refused;
    }
    return Verdict::Passes; // NULL, and every field not given, passes every CHECK
}

void SqliteStore::planJudging(const Insert &insert) const
{
    using definition::FieldKind;
    Insert::Judging j;
    j.run = m_runs;
    j.sqliteDecides = insert.given.size() + insert.notGiven.size() != m_storedAsBound.size();
    for (const int i : insert.given) {
        if (j.sqliteDecides)
            break;
        switch (m_storedAsBound[size_t(i)]) {
        case FieldKind::Key: j.sqliteDecides = true; break; // a key that is no integer fails before any CHECK
        case FieldKind::Text: {
            const auto check = std::find_if(m_zeroLength.begin(), m_zeroLength.end(),
                                            [i](const definition::ZeroLengthCheck &c) { return c.column == i; });
            j.text.emplace_back(i, check == m_zeroLength.end() ? -1 : int(check - m_zeroLength.begin()));
            break;
        }
        case FieldKind::Real: j.real.push_back(i); break;
        }
    }
    insert.judging = std::move(j);
}

// Setting the flag makes SQLite compile every statement again at its next step, with the flag as it is then.
int SqliteStore::stepWithTableChecks(sqlite3_stmt *q, std::optional<Error> &failure)
{
    m_db.exec(QLatin1String(keepChecks));
    const int rc = sqlite3_step(q);
    if (rc != SQLITE_DONE)
        failure = m_db.error(rc); // before the pragma replaces SQLite's message
    // Left with them, should this fail: slower for the rest of the run, as exact.
    if (m_inRun && m_db.inTransaction())
        sqlite3_exec(m_db.handle(), skipChecks, nullptr, nullptr, nullptr);
    return rc;
}

Error SqliteStore::refusal(const QString &check) const
{
    return sqliteError(SQLITE_CONSTRAINT_CHECK, QStringLiteral("CHECK constraint failed: %1").arg(check), m_path, 0);
}

void SqliteStore::skipTableChecks()
{
    m_checksSkipped = true; // first: from here on a statement may be compiled without them
    m_db.exec(QLatin1String(skipChecks));
}

void SqliteStore::keepTableChecks() noexcept
{
    if (m_checksSkipped && m_db.isOpen()
        && sqlite3_exec(m_db.handle(), keepChecks, nullptr, nullptr, nullptr) == SQLITE_OK)
        m_checksSkipped = false;
}

} // namespace zefto::sqlite
