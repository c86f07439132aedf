// The filtered reads of PostgresStore: the server tests each record with a
// regular expression built from the program's own folding table, so only
// matching records (or their keys) come back.
#include "pgfilter.h"

#include "browse.h"
#include "filter.h"
#include "pgstore.h"

#include <map>
#include <vector>

namespace zefto::postgres {
namespace {

// Characters below this fold only to characters below it, one for one or to
// nothing, whatever surrounds them; the classes cover them exactly.
constexpr char16_t plainLimit = 0x800;

struct Classes {
    std::map<char16_t, std::vector<char16_t>> folding; // folded letter -> every unit folding to it alone
    std::vector<char16_t> dropped;                     // units folding to nothing (marks)
};

const Classes &classes()
{
    static const Classes built = [] {
        Classes c;
        for (char32_t u = 1; u <= 0xFFFF; ++u) {
            const UnitFold f = foldUnit(char16_t(u));
            if (f.whole)
                continue;
            if (f.folded.isEmpty())
                c.dropped.push_back(char16_t(u));
            else if (f.folded.size() == 1 && f.folded[0].unicode() < plainLimit)
                c.folding[f.folded[0].unicode()].push_back(char16_t(u));
        }
        return c;
    }();
    return built;
}

// ASCII escaped, as it holds the bracket's own syntax; every other unit as itself. The server
// compares the whole pattern with the ones it has compiled at every row, so its length counts.
QString escaped(char16_t u)
{
    return u < 0x80 ? QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0')) : QString(QChar(u));
}

// A bracket expression of ascending units, runs written as ranges.
QString bracket(const std::vector<char16_t> &units)
{
    QString out = QStringLiteral("[");
    for (size_t i = 0; i < units.size();) {
        size_t j = i;
        while (j + 1 < units.size() && units[j + 1] == units[j] + 1)
            ++j;
        out += escaped(units[i]);
        if (j > i)
            out += u'-' + escaped(units[j]);
        i = j + 1;
    }
    return out + u']';
}

// What the server tests: the filtered fields joined, against the pattern bound to "?".
QString matchCondition()
{
    QStringList fields;
    for (schema::Field f : filter::fields)
        fields << u'"' + schema::fieldName(f) + u'"';
    return QStringLiteral("concat_ws(E'\\x%1', %2) ~ ?")
        .arg(uint(fieldSeparator), 2, 16, QLatin1Char('0'))
        .arg(fields.join(u','));
}

} // namespace

std::optional<MatchPattern> matchPattern(const QString &text)
{
    const QString folded = FoldedNeedle(text).folded();
    if (folded.isEmpty())
        return std::nullopt;
    const Classes &c = classes();
    const QString between = bracket(c.dropped) + u'*';
    MatchPattern pattern;
    for (QChar letter : folded) {
        const auto found = c.folding.find(letter.unicode());
        if (letter.unicode() >= plainLimit || letter == QChar(fieldSeparator) || found == c.folding.end())
            return std::nullopt;
    }
    for (QChar letter : QStringView(folded).first(std::min<qsizetype>(folded.size(), patternLetters))) {
        if (!pattern.expression.isEmpty())
            pattern.expression += between;
        pattern.expression += bracket(c.folding.find(letter.unicode())->second);
    }
    pattern.whole = folded.size() <= patternLetters;
    return pattern;
}

// Only a server that keeps text as UTF-8 can take every character the pattern names.
std::optional<MatchPattern> PostgresStore::serverPattern(const QString &text)
{
    std::optional<MatchPattern> pattern = matchPattern(text);
    if (!pattern)
        return pattern;
    if (!m_textInUtf8) {
        const Rows rows = m_connection.exec(QStringLiteral("SHOW server_encoding"));
        m_textInUtf8 = !rows.isEmpty() && rows.front().at(0).toString() == QLatin1String("UTF8");
    }
    return *m_textInUtf8 ? pattern : std::nullopt;
}

void PostgresStore::readMatching(KeyRange within, qint64 after, int limit, const QString &text,
                                 const std::function<void(const Record &)> &each)
{
    finishCopy();
    const std::optional<MatchPattern> pattern = serverPattern(text);
    if (!pattern)
        return Store::readMatching(within, after, limit, text, each);
    FoldedNeedle needle(text);
    const auto at = filter::positions(columns());
    int found = 0;
    // A block of records the pattern let through, all of them matches when it stands for the whole filter.
    for (int read = limit; read == limit && found < limit;) {
        read = 0;
        const Rows rows = m_connection.exec(
            browse::matchingStatement(keyName(), within, after, limit, matchCondition()), {pattern->expression});
        for (qsizetype i = 0; i < rows.size() && found < limit; ++i) {
            ++read;
            const Record r = recordOf(rows[i]);
            after = keyIn(columns(), r);
            if (pattern->whole || filter::matches(at, r, needle)) {
                ++found;
                each(r);
            }
        }
    }
}

void PostgresStore::matchingKeys(KeyRange within, qint64 after, qint64 upTo, const QString &text,
                                 const std::function<void(qint64 key)> &each)
{
    finishCopy();
    const std::optional<MatchPattern> pattern = serverPattern(text);
    if (!pattern || !pattern->whole) // the records themselves are needed to test the rest
        return Store::matchingKeys(within, after, upTo, text, each);
    const Rows rows = m_connection.exec(browse::matchingKeysStatement(keyName(), within, after, upTo, matchCondition()),
                                        {pattern->expression});
    for (const QVariantList &row : rows)
        each(row.at(0).toLongLong());
}

} // namespace zefto::postgres
