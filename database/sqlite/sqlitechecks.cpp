#include "sqlitestore.h"

#include "sqliteerror.h"

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
SqliteStore::Verdict SqliteStore::judgeAsTheTable(const Record &values, const std::vector<bool> &given,
                                                  QString *refusedBy) const
{
    using definition::FieldKind;
    if (!m_inRun || given.size() != m_storedAsBound.size() || values.size() < given.size())
        return Verdict::SQLiteDecides;
    for (size_t i = 0; i < given.size(); ++i) {
        if (!given[i])
            continue; // NULL, which every CHECK passes
        const Value &v = values[i];
        switch (m_storedAsBound[i]) {
        case FieldKind::Key: return Verdict::SQLiteDecides; // a key that is no integer fails before any CHECK
        case FieldKind::Text:
            // Numbers become text (NaN NULL); a leading mark is taken off, and what is left may be empty.
            if (v.isText() && startsWithByteOrderMark(v.asText()))
                return Verdict::SQLiteDecides;
            break;
        case FieldKind::Real:
            // Text stays text unless SQLite reads it as a number: its rule, not copied here.
            if (v.isText())
                return Verdict::SQLiteDecides;
            break;
        }
    }
    for (const definition::ZeroLengthCheck &c : m_zeroLength) {
        const Value &v = values[size_t(c.column)];
        if (given[size_t(c.column)] && v.isText() && v.asText().isEmpty()) {
            *refusedBy = c.name;
            return Verdict::Refused;
        }
    }
    return Verdict::Passes;
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
