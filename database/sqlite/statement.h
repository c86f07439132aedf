#pragma once

#include <QString>
#include <sqlite3.h>
#include <utility>

namespace zefto::sqlite {

// One prepared statement, finalized by its owner's destructor. Move-only.
class Statement {
public:
    Statement() = default;
    // Prepares `sql` on `db`; the result code tells whether it worked.
    Statement(sqlite3 *db, const QString &sql, int *rc)
    {
        *rc = sqlite3_prepare16_v3(db, sql.utf16(), int(sql.size() * 2), SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(Statement &&o) noexcept : m_stmt(std::exchange(o.m_stmt, nullptr)) {}
    Statement &operator=(Statement &&o) noexcept
    {
        std::swap(m_stmt, o.m_stmt);
        return *this;
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    explicit operator bool() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

// What a reset does with the parameters bound to a statement.
enum class Bindings { Clear, Keep };

// Resets a statement when the scope that stepped it ends, however it ends.
// Bindings::Keep suits a statement whose every parameter is bound afresh
// before each step.
class ResetOnExit {
public:
    explicit ResetOnExit(sqlite3_stmt *s, Bindings b = Bindings::Clear) : m_stmt(s), m_bindings(b)
    {
        // A statement kept for reuse was reset after its last use, so this step starts it afresh.
        Q_ASSERT(!sqlite3_stmt_busy(s));
    }
    ~ResetOnExit()
    {
        sqlite3_reset(m_stmt);
        if (m_bindings == Bindings::Clear)
            sqlite3_clear_bindings(m_stmt);
    }
    ResetOnExit(const ResetOnExit &) = delete;
    ResetOnExit &operator=(const ResetOnExit &) = delete;

private:
    sqlite3_stmt *m_stmt;
    Bindings m_bindings;
};

} // namespace zefto::sqlite
