#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <array>
#include <optional>
#include <vector>

namespace zefto {

// The log table every backend keeps beside ovrekson.
inline constexpr auto conversionTableName = "zefto_conversions";

// What a check of the shares found under one rule: new parcels (rules 1 and
// 2) or records (3 and 4) checked, and of them broken or unreadable.
struct RuleTally {
    qint64 checked = 0, broken = 0, unreadable = 0;
    bool skipped = false;
    bool operator==(const RuleTally &) const = default;
};
using ShareTally = std::array<RuleTally, 4>;

// One entry of the conversion log: one committed run.
struct Conversion {
    qint64 id = 0;
    QString startedAt, endedAt; // UTC, ISO 8601 (2024-05-01T09:30:00Z)
    QString user, host;         // login name and machine of whoever ran it
    QString reportPath;         // absolute
    qint64 reportSize = 0;
    QString sha256; // of the report's bytes, lower-case hex
    QString mahalle;
    int linesInReport = 0, linesRead = 0;
    QString outcome;     // the first line of the run's message
    int errorNumber = 0; // 0 when the run ended without an error
    qint64 records = 0;
    qint64 firstKey = 0, lastKey = 0; // 0 when it stored none
    QString undoneAt, undoneBy;       // empty until undone
    QString role;                     // the server's role that ran it (its session_user); empty in a file
    std::optional<ShareTally> shares; // the check of its shares after the commit; nothing before it ran

    bool undone() const { return !undoneAt.isEmpty(); }
};

namespace conversionlog {

// The log's fields in table order, the order fieldValues and every SELECT of the log use.
inline constexpr auto fieldList =
    "id, started_at, ended_at, user_name, host, report_path, report_size, report_sha256, "
    "mahalle, lines_in_report, lines_read, outcome, error_number, records, first_key, "
    "last_key, undone_at, undone_by";
// The columns the check of a conversion's shares fills in, after fieldList;
// added to a log that lacks them.
QStringList checkFields();
// CREATE TABLE IF NOT EXISTS for the log: on a server (identity key, bigint) or in a file.
QString createStatement(bool server);
// The entry's fields after id, in fieldList order; an integer 0 of
// error_number, first_key and last_key stands for NULL, as empty undone fields do.
QList<QVariant> fieldValues(const Conversion &c);
// The entry a row read in fieldList order holds.
Conversion fromFields(const QList<QVariant> &row);

// Adds one check column to an existing log in a file (a server's gets them from roles.sql).
QString addCheckColumn(const QString &field);
// The check's figures in checkFields order, and the check a row's values
// from the first of them on hold (nothing when they are NULL: never checked).
QList<QVariant> checkValues(const ShareTally &t);
std::optional<ShareTally> checkFromFields(const QList<QVariant> &values);
// How the log shows a check: "all hold", or the rules with something to look at.
QString shownCheck(const std::optional<ShareTally> &t);

// Now, as the log writes it.
QString nowUtc();
// The login name of the user running this program.
QString userName();
// This machine's name.
QString hostName();
// Who ran a conversion as the log tells it: login@host, and the server's role when it knows one.
QString runBy(const Conversion &c);
// A logged UTC time as the operator reads it: local time, to the minute.
QString shownTime(const QString &isoUtc);
// The entry `id` of `log`; throws Error 3265 when the log holds none.
Conversion toUndo(const std::vector<Conversion> &log, qint64 id, const QString &database);
// The refusal to undo conversion `c` of `log`, or empty when it may be undone
// given that `present` records lie in its key range: it is not undone, its
// numbers agree, no other live entry covers one of its keys, and exactly its
// records are there. Undo deletes by the log, so the log must prove itself.
QString undoRefusal(const Conversion &c, qint64 present, const std::vector<Conversion> &log, const QString &database);
// The refusal of an id the log of `database` does not hold.
QString unknownConversion(qint64 id, const QString &database);

// What both backends ask of the log: the newest conversion of a report's
// bytes whose records are still there (bound: its SHA-256), and all of it.
inline constexpr auto latestStillStored =
    "WHERE report_sha256 = ? AND undone_at IS NULL AND records > 0 ORDER BY id DESC LIMIT 1";
inline constexpr auto oldestFirst = "ORDER BY id";

} // namespace conversionlog
} // namespace zefto
