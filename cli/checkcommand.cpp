#include "checkcommand.h"

#include "csvwriter.h"
#include "refusal.h"
#include "sharecheck.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>

namespace zefto::cli {
namespace {

using records::ShareFinding;

std::optional<records::RuleSet> rulesLeft(const QStringList &skipRules)
{
    records::RuleSet rules = records::allRules;
    for (const QString &s : skipRules) {
        bool number = false;
        const int rule = s.toInt(&number);
        if (!number || rule < 1 || rule > 4)
            return std::nullopt;
        rules[size_t(rule - 1)] = false;
    }
    return rules;
}

std::vector<Value> csvRow(const ShareFinding &f)
{
    const auto key = [](qint64 k) { return k ? Value::number(double(k)) : Value::null(); };
    return {Value::number(f.rule),
            Value::text(f.unreadable ? QStringLiteral("unreadable") : QStringLiteral("broken")),
            Value::text(f.yada),
            Value::text(f.yparsel),
            key(f.key),
            key(f.span.first),
            key(f.span.second),
            Value::text(f.text)};
}

} // namespace

int checkCommand(Database &db, const std::function<KeyRange(const std::optional<QString> &)> &keys,
                 const std::optional<QString> &conversion, const std::optional<QString> &filter, const QString &format,
                 const QStringList &skipRules, const std::function<void(const QString &why)> &misused)
{
    const std::optional<records::RuleSet> rules = rulesLeft(skipRules);
    if (!rules || std::none_of(rules->begin(), rules->end(), [](bool on) { return on; })) {
        misused(rules ? QStringLiteral("--skip-rule leaves no rule to check.")
                      : QStringLiteral("--skip-rule takes a rule from 1 to 4."));
        return 64;
    }
    const bool csv = format == QLatin1String("csv");
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    records::CsvWriter table(out, false);
    QTextStream text(&out);
    if (csv)
        table.header({QStringLiteral("rule"), QStringLiteral("finding"), QStringLiteral("yada"),
                      QStringLiteral("yparsel"), QStringLiteral("key"), QStringLiteral("first_key"),
                      QStringLiteral("last_key"), QStringLiteral("text")});
    records::ShareCheck check;
    // The log and the records are read in one snapshot: a conversion undone meanwhile is seen whole or not at all.
    db.readSnapshot([&] {
        check = records::checkShares(db, keys(conversion), filter, *rules, [&](const ShareFinding &f) {
            if (csv)
                table.row(csvRow(f));
            else
                text << "rule " << f.rule << "  " << f.text << '\n';
        });
    });
    // Summaries after the findings; beside CSV they go to standard error, so the sheet stays one table.
    QTextStream err(stderr);
    QTextStream &summary = csv ? err : text;
    for (int rule = 1; rule <= 4; ++rule)
        summary << records::ruleSummary(rule, check) << '\n';
    text.flush();
    if (!table.ok() || text.status() != QTextStream::Ok)
        throw records::Refusal{QStringLiteral("The findings could not be written to standard output.")};
    return check.anything() ? 1 : 0;
}

} // namespace zefto::cli
