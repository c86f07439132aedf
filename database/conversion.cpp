#include "conversion.h"

#include "error.h"

#include <QDateTime>
#include <QSysInfo>
#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace zefto::conversionlog {

QString createStatement(bool server)
{
    // On a server the role that converted is filled in by the server, not told by the client.
    const QString role = server ? QStringLiteral(", role_name text DEFAULT session_user") : QString();
    const QString integer = server ? QStringLiteral("bigint") : QStringLiteral("INTEGER");
    const QString text = server ? QStringLiteral("text") : QStringLiteral("TEXT");
    const QString key = server ? QStringLiteral("bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                               : QStringLiteral("INTEGER PRIMARY KEY");
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS %1 (id %2, started_at %3 NOT NULL, ended_at %3 NOT NULL, "
               "user_name %3 NOT NULL, host %3 NOT NULL, report_path %3 NOT NULL, report_size %4 NOT NULL, "
               "report_sha256 %3 NOT NULL, mahalle %3 NOT NULL, lines_in_report %4 NOT NULL, "
               "lines_read %4 NOT NULL, outcome %3 NOT NULL, error_number %4, records %4 NOT NULL, "
               "first_key %4, last_key %4, undone_at %3, undone_by %3%5, %6)")
        .arg(QLatin1String(conversionTableName), key, text, integer, role,
             checkFields().join(QStringLiteral(" ") + integer + QStringLiteral(", ")) + QStringLiteral(" ") + integer);
}

QList<QVariant> fieldValues(const Conversion &c)
{
    const auto orNull = [](qint64 n) { return n == 0 ? QVariant() : QVariant(n); };
    const auto textOrNull = [](const QString &s) { return s.isEmpty() ? QVariant() : QVariant(s); };
    return {c.startedAt,
            c.endedAt,
            c.user,
            c.host,
            c.reportPath,
            c.reportSize,
            c.sha256,
            c.mahalle,
            c.linesInReport,
            c.linesRead,
            c.outcome,
            orNull(c.errorNumber),
            c.records,
            orNull(c.firstKey),
            orNull(c.lastKey),
            textOrNull(c.undoneAt),
            textOrNull(c.undoneBy)};
}

Conversion fromFields(const QList<QVariant> &r)
{
    Conversion c;
    c.id = r.value(0).toLongLong();
    c.startedAt = r.value(1).toString();
    c.endedAt = r.value(2).toString();
    c.user = r.value(3).toString();
    c.host = r.value(4).toString();
    c.reportPath = r.value(5).toString();
    c.reportSize = r.value(6).toLongLong();
    c.sha256 = r.value(7).toString();
    c.mahalle = r.value(8).toString();
    c.linesInReport = r.value(9).toInt();
    c.linesRead = r.value(10).toInt();
    c.outcome = r.value(11).toString();
    c.errorNumber = r.value(12).toInt();
    c.records = r.value(13).toLongLong();
    c.firstKey = r.value(14).toLongLong();
    c.lastKey = r.value(15).toLongLong();
    c.undoneAt = r.value(16).toString();
    c.undoneBy = r.value(17).toString();
    // The check's columns, when the reader asked for them, follow the log's own.
    c.shares = checkFromFields(r.mid(QString::fromLatin1(fieldList).count(u',') + 1));
    return c;
}

QString nowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString userName()
{
    // The account the process runs as, not what the environment claims.
    if (const passwd *pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString fromEnv = qEnvironmentVariable("USER");
    return fromEnv.isEmpty() ? QStringLiteral("uid %1").arg(geteuid()) : fromEnv;
}

QString hostName()
{
    return QSysInfo::machineHostName();
}

QString runBy(const Conversion &c)
{
    const QString login = c.user + u'@' + c.host;
    return c.role.isEmpty() ? login : QStringLiteral("%1 as %2").arg(login, c.role);
}

QString shownTime(const QString &isoUtc)
{
    const QDateTime t = QDateTime::fromString(isoUtc, Qt::ISODate);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : isoUtc;
}

Conversion toUndo(const std::vector<Conversion> &log, qint64 id, const QString &database)
{
    for (const Conversion &c : log)
        if (c.id == id)
            return c;
    throw Error(err::ItemNotFound, unknownConversion(id, database));
}

namespace {

// A run's keys are contiguous, so its range holds at least as many keys as records.
bool numbersAgree(const Conversion &c)
{
    if (c.records == 0)
        return c.firstKey == 0 && c.lastKey == 0;
    return c.records > 0 && c.firstKey > 0 && c.lastKey >= c.firstKey && c.lastKey - c.firstKey >= c.records - 1;
}

bool overlaps(const Conversion &a, const Conversion &b)
{
    return a.records > 0 && b.records > 0 && a.firstKey <= b.lastKey && b.firstKey <= a.lastKey;
}

} // namespace

QString undoRefusal(const Conversion &c, qint64 present, const std::vector<Conversion> &log, const QString &database)
{
    if (c.undone())
        return QStringLiteral("Conversion %1 of '%2' was already undone on %3 by %4; nothing was removed.")
            .arg(c.id)
            .arg(database, shownTime(c.undoneAt), c.undoneBy);
    if (!numbersAgree(c))
        return QStringLiteral(
                   "Conversion %1 of '%2' is logged with %3 records and keys %4 to %5, which do not agree; "
                   "nothing was removed.")
            .arg(c.id)
            .arg(database)
            .arg(c.records)
            .arg(c.firstKey)
            .arg(c.lastKey);
    for (const Conversion &other : log)
        if (other.id != c.id && !other.undone() && overlaps(c, other))
            return QStringLiteral(
                       "Conversion %1 of '%2' is logged with keys %3 to %4, which overlap those of "
                       "conversion %5 (keys %6 to %7); nothing was removed.")
                .arg(c.id)
                .arg(database)
                .arg(c.firstKey)
                .arg(c.lastKey)
                .arg(other.id)
                .arg(other.firstKey)
                .arg(other.lastKey);
    if (present != c.records)
        return (present < c.records
                    ? QStringLiteral("Conversion %1 of '%2' stored %3 records (keys %4 to %5), but only "
                                     "%6 of them are still in ovrekson; nothing was removed.")
                    : QStringLiteral("Conversion %1 of '%2' stored %3 records (keys %4 to %5), but %6 "
                                     "records lie in that range of ovrekson; nothing was removed."))
            .arg(c.id)
            .arg(database)
            .arg(c.records)
            .arg(c.firstKey)
            .arg(c.lastKey)
            .arg(present);
    return QString();
}

QString unknownConversion(qint64 id, const QString &database)
{
    return QStringLiteral("The log of '%1' holds no conversion %2; nothing was removed.").arg(database).arg(id);
}

} // namespace zefto::conversionlog

namespace zefto::conversionlog {

QStringList checkFields()
{
    QStringList out;
    for (int rule = 1; rule <= 4; ++rule)
        for (const char *what : {"checked", "broken", "unreadable"})
            out << QStringLiteral("rule%1_%2").arg(rule).arg(QLatin1String(what));
    return out;
}

QString addCheckColumn(const QString &field)
{
    return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 INTEGER").arg(QLatin1String(conversionTableName), field);
}

QList<QVariant> checkValues(const ShareTally &t)
{
    QList<QVariant> out;
    for (const RuleTally &r : t) {
        // A rule left out is NULL, not a count of nothing checked.
        for (qint64 n : {r.checked, r.broken, r.unreadable})
            out << (r.skipped ? QVariant() : QVariant(n));
    }
    return out;
}

std::optional<ShareTally> checkFromFields(const QList<QVariant> &values)
{
    if (values.size() < 12 || std::all_of(values.begin(), values.end(), [](const QVariant &v) { return v.isNull(); }))
        return std::nullopt;
    ShareTally t;
    for (int rule = 0; rule < 4; ++rule) {
        RuleTally &r = t[size_t(rule)];
        r.skipped = values[rule * 3].isNull();
        r.checked = values[rule * 3].toLongLong();
        r.broken = values[rule * 3 + 1].toLongLong();
        r.unreadable = values[rule * 3 + 2].toLongLong();
    }
    return t;
}

QString shownCheck(const std::optional<ShareTally> &t)
{
    if (!t)
        return QString();
    QStringList off;
    for (int rule = 0; rule < 4; ++rule) {
        const RuleTally &r = (*t)[size_t(rule)];
        QStringList parts;
        if (r.broken)
            parts << QStringLiteral("%1 broken").arg(r.broken);
        if (r.unreadable)
            parts << QStringLiteral("%1 unreadable").arg(r.unreadable);
        if (!parts.isEmpty())
            off << QStringLiteral("rule %1: %2").arg(rule + 1).arg(parts.join(QStringLiteral(", ")));
    }
    return off.isEmpty() ? QStringLiteral("all hold") : off.join(QStringLiteral("; "));
}

} // namespace zefto::conversionlog
