#include "checks.h"

#include "codepage.h"
#include "engine.h"
#include "error.h"
#include "layout.h"
#include "numbers.h"
#include "turkish.h"
#include "val.h"
#include "windowport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <sqlite3.h>
#include <vector>

namespace fuzzcheck {
namespace {

using namespace zefto;
using layout::RowKind;
using turkish::NameKind;

// A QString readable in a message whatever it holds.
std::string show(const QString &s)
{
    std::string out = "\"";
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'"' && u != u'\\') {
            out += char(u);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(u));
            out += buf;
        }
    }
    return out + "\"";
}

std::string show(const Value &v)
{
    switch (v.kind()) {
    case Value::Kind::Unset: return "<no value>";
    case Value::Kind::Null: return "<null>";
    case Value::Kind::Double: return std::to_string(v.asDouble());
    case Value::Kind::Text: return show(v.asText());
    }
    return "?";
}

#define CHECK(cond, detail)                                                                                            \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            throw CheckFailure(std::string(#cond) + " -- " + (detail));                                                \
    } while (0)

// Holds what no printed report does: a control byte other than line ends, tab,
// form feed and the printer's codes, or the signature of a PDF, PNG, JPEG,
// program or SQLite file (theirs hold no such byte).
bool looksBinary(const QByteArray &b)
{
    static const QByteArray reportCodes("\n\r\t\f\x1B\x0E\x0F\x12\x14\x1A", 10);
    for (const char *signature : {"%PDF-", "\x89PNG", "\xFF\xD8\xFF", "\x7F" "ELF", "SQLite format 3"})
        if (b.startsWith(signature))
            return true;
    return std::any_of(b.begin(), b.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 && !reportCodes.contains(c);
    });
}

// Lines as the README defines them: CR LF, a lone CR and a lone LF each end
// a line; the last line needs no terminator.
std::vector<QByteArray> splitLines(const QByteArray &b)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0, i = 0;
    const qsizetype n = b.size();
    while (i < n) {
        const char c = b[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.push_back(b.mid(start, i - start));
        i += (c == '\r' && i + 1 < n && b[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < n)
        lines.push_back(b.mid(start));
    return lines;
}

// ---------------------------------------------------------------------------
// Decoding and line splitting

// The byte each decoded character came from; -1 for characters no byte gives.
// Building it proves the decoding loses nothing: no two bytes share a character.
const std::array<int, 0x10000> &byteOf()
{
    static const std::array<int, 0x10000> table = [] {
        std::array<int, 0x10000> t;
        t.fill(-1);
        for (int b = 0; b < 256; ++b) {
            const char16_t c = windows1254(static_cast<unsigned char>(b));
            CHECK(t[c] < 0, "bytes " + std::to_string(t[c]) + " and " + std::to_string(b) + " decode alike");
            CHECK(b >= 0x80 || c == b, "ASCII byte " + std::to_string(b) + " changed");
            CHECK((c != u'\r' && c != u'\n') || c == b, "a byte decodes to a line terminator");
            t[c] = b;
        }
        return t;
    }();
    return table;
}

// A line is kept up to the reader's bound; its full length is told apart.
void checkDecoded(const QString &line, qsizetype fullLength, const QByteArray &whole, size_t lineNo)
{
    const auto where = [&] { return std::string() + "line " + std::to_string(lineNo + 1); };
    CHECK(fullLength == whole.size(),
          where() + ": length " + std::to_string(fullLength) + " of " + std::to_string(whole.size()) + " bytes");
    const QByteArray bytes = whole.left(ReportReader::keptLineBytes);
    CHECK(line.size() == bytes.size(), where() + ": " + std::to_string(bytes.size()) + " bytes gave "
                                           + std::to_string(line.size()) + " characters " + show(line));
    const auto &table = byteOf();
    for (qsizetype i = 0; i < line.size(); ++i)
        CHECK(table[line[i].unicode()] == static_cast<unsigned char>(bytes[i]),
              where() + ", column " + std::to_string(i + 1) + ": " + show(line.mid(i, 1))
                  + " is not the decoding of byte " + std::to_string(static_cast<unsigned char>(bytes[i])));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write " + show(path));
    CHECK(f.write(bytes) == bytes.size(), "cannot write " + show(path));
}

template <typename F> int errorOf(F &&f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.number();
    }
    return 0;
}

// Reads the file three ways (readLine, skipLine, countLines) and compares each
// line with the reference split of `content`. Returns the decoded lines.
std::vector<QString> checkReader(const QString &path, const QByteArray &content)
{
    const std::vector<QByteArray> expected = splitLines(content);
    std::vector<QString> lines;

    ReportReader r;
    r.open(path);
    CHECK(r.isOpen(), "open");
    while (!r.atEnd()) {
        CHECK(lines.size() < expected.size(), "more lines than " + std::to_string(expected.size()));
        lines.push_back(r.readLine());
        checkDecoded(lines.back(), r.lastLineLength(), expected[lines.size() - 1], lines.size() - 1);
    }
    CHECK(lines.size() == expected.size(),
          "read " + std::to_string(lines.size()) + " lines of " + std::to_string(expected.size()));
    CHECK(errorOf([&] { r.readLine(); }) == err::InputPastEnd, "reading past the end");
    CHECK(errorOf([&] { r.skipLine(); }) == err::InputPastEnd, "skipping past the end");
    r.close();
    CHECK(!r.isOpen(), "close");

    // Skipping and reading alternately see the same lines.
    r.open(path);
    for (size_t k = 0; k < expected.size(); ++k) {
        CHECK(!r.atEnd(), "end after " + std::to_string(k) + " lines");
        if (k % 2 == 0) {
            const qsizetype n = r.skipLine();
            CHECK(n == expected[k].size(),
                  "line " + std::to_string(k + 1) + " skipped as " + std::to_string(n) + " bytes");
        } else {
            CHECK(r.readLine() == lines[k], "line " + std::to_string(k + 1) + " read differently the second time");
        }
    }
    CHECK(r.atEnd(), "lines left after " + std::to_string(expected.size()));
    r.close();

    int counted = -1;
    const int e = errorOf([&] { counted = ReportReader::countLines(path); });
    if (expected.size() > 32767)
        CHECK(e == err::Overflow,
              "counting " + std::to_string(expected.size()) + " lines gave error " + std::to_string(e));
    else
        CHECK(e == 0 && counted == int(expected.size()), "countLines gave " + std::to_string(counted) + " (error "
                                                             + std::to_string(e) + ") for "
                                                             + std::to_string(expected.size()) + " lines");
    return lines;
}

// The file holds a first line of `firstLine` bytes, then the lines read before.
void checkShiftedReader(const QString &path, qsizetype firstLine, const std::vector<QString> &lines)
{
    ReportReader r;
    r.open(path);
    const qsizetype n = r.skipLine();
    CHECK(n == firstLine, "the first line skipped as " + std::to_string(n) + " bytes of " + std::to_string(firstLine));
    for (size_t k = 0; k < lines.size(); ++k) {
        CHECK(!r.atEnd(), "end after " + std::to_string(k) + " lines past the refill");
        const QString line = r.readLine();
        CHECK(line == lines[k],
              "line " + std::to_string(k + 1) + " past the refill read as " + show(line) + ", not " + show(lines[k]));
    }
    CHECK(r.atEnd(), "lines left past the refill");
}

// ---------------------------------------------------------------------------
// Columns and text rules

bool isBlanks(QStringView s)
{
    for (const QChar c : s)
        if (c != u' ')
            return false;
    return true;
}

// The six characters CP857 capitals become when read as Windows-1254.
bool misread(QChar c)
{
    switch (c.unicode()) {
    case 0x02DC:
    case 0x20AC:
    case 0x0161:
    case 0x009E:
    case 0x2122:
    case 0x00A6: return true;
    default: return false;
    }
}

// First and last 1-based positions of the fourteen columns of a printed data line.
constexpr std::array<std::array<int, 2>, layout::ColumnCount> printedColumns = {{
    {8, 12},
    {14, 19},
    {21, 26},
    {28, 35},
    {37, 57},
    {59, 68},
    {70, 88},
    {90, 99},
    {101, 110},
    {112, 121},
    {131, 135},
    {137, 138},
    {140, 149},
    {151, 161},
}};

void checkCut(const QString &line, const layout::Values &v)
{
    for (int c = 0; c < layout::ColumnCount; ++c) {
        const int start = printedColumns[c][0];
        const int length = printedColumns[c][1] - start + 1;
        const auto where = [&] { return std::string() + "column " + std::to_string(c) + " of " + show(line); };
        CHECK(!v[c].isNull(), where() + " is a null QString");
        CHECK(v[c].size() <= length, where() + " is " + show(v[c].toString()));
        CHECK(v[c] == line.mid(start - 1, length), where() + " is " + show(v[c].toString()));
        if (line.size() >= start - 1 + length)
            CHECK(v[c].size() == length, where() + " is short: " + show(v[c].toString()));
    }
    const RowKind kind = layout::classify(v[layout::OwnerName]);
    if (kind == RowKind::Continuation)
        CHECK(v[layout::OwnerName].size() == 21 && isBlanks(v[layout::OwnerName]), "continuation " + show(line));
    if (kind != RowKind::Owner)
        CHECK(v[layout::OwnerName].size() == 21, "a short owner column is not an owner row: " + show(line));
}

QString checkRepair(const QString &in, NameKind kind)
{
    QString out;
    for (turkish::ValidityFlag before : {0, 1}) {
        turkish::ValidityFlag flag = before;
        QString s = in;
        turkish::repairCp857(s, kind, flag);
        const auto where = [&] { return std::string() + "repair of " + show(in) + " gave " + show(s); };
        CHECK(s.size() == in.size(), where());
        for (qsizetype i = 0; i < s.size(); ++i) {
            CHECK(!misread(s[i]), where());
            if (!misread(in[i]))
                CHECK(s[i] == in[i], where());
        }
        const bool g = in.contains(QChar(0x00A6));
        const turkish::ValidityFlag want = (kind == NameKind::Father && g) ? 1 : before;
        CHECK(flag == want, where() + ": flag " + std::to_string(before) + " became " + std::to_string(flag));
        QString again = s;
        turkish::repairCp857(again, kind, flag);
        CHECK(again == s, where() + ", again " + show(again));
        out = s;
    }
    return out;
}

// Casing keeps the length and the blanks; the kept capitals are `keep(p)`;
// no other ASCII capital survives (I becomes ı); casing twice changes nothing.
template <typename Keep> void checkCasing(const QString &in, const QString &out, Keep keep, const char *what)
{
    const auto where = [&] { return std::string() + std::string(what) + " of " + show(in) + " gave " + show(out); };
    CHECK(out.size() == in.size(), where());
    for (qsizetype p = 0; p < in.size(); ++p) {
        CHECK((in[p] == u' ') == (out[p] == u' '), where());
        if (keep(p))
            CHECK(out[p] == in[p], where());
        else
            CHECK(!(out[p] >= u'A' && out[p] <= u'Z') && out[p] != QChar(0x0130), where());
    }
}

void checkOwnerName(const QString &column)
{
    const QString trimmed = turkish::trimTrailingBlanks(column).toString();
    const auto where = [&] { return std::string() + "trim of " + show(column) + " gave " + show(trimmed); };
    CHECK(!trimmed.isNull(), where());
    if (isBlanks(column)) {
        CHECK(trimmed == column, where());
    } else {
        CHECK(column.startsWith(trimmed) && !trimmed.endsWith(u' ')
                  && isBlanks(QStringView(column).sliced(trimmed.size())),
              where());
    }

    const QString owner = checkRepair(trimmed, NameKind::Owner);
    QString cased = owner;
    turkish::properCase(cased);
    checkCasing(
        owner, cased, [&](qsizetype p) { return p == 0 || owner[p - 1] == u' '; }, "properCase");
    QString twice = cased;
    turkish::properCase(twice);
    CHECK(twice == cased, "properCase twice of " + show(owner) + " gave " + show(twice));

    Value adi = Value::number(-1), soyadi = Value::number(-1);
    turkish::splitOwnerName(cased, adi, soyadi);
    const auto split = [&] {
        return std::string() + "split of " + show(cased) + " gave " + show(adi) + " / " + show(soyadi);
    };
    CHECK(adi.isText() && !adi.asText().isNull(), split());
    CHECK(soyadi.isUnset() || (soyadi.isText() && !soyadi.asText().isNull()), split());
    if (soyadi.isText()) {
        CHECK(adi.asText() + u' ' + soyadi.asText() == cased && !soyadi.asText().contains(u' '), split());
    } else {
        CHECK(adi.asText() == cased, split());
        CHECK(!cased.contains(u' ') || cased == u"Ovrek Belediyesi" || cased == u"Maliye Hazinesi", split());
    }
}

void checkFatherName(const QString &column)
{
    const QString father = checkRepair(column, NameKind::Father);
    QString cased = father;
    turkish::firstLetterCase(cased);
    checkCasing(
        father, cased, [](qsizetype p) { return p == 0; }, "firstLetterCase");
    QString twice = cased;
    turkish::firstLetterCase(twice);
    CHECK(twice == cased, "firstLetterCase twice of " + show(father) + " gave " + show(twice));
}

// Returns the numerator when the share has one.
std::optional<QString> checkShare(const QString &share)
{
    Value num = Value::number(-1), den = Value::number(-2);
    turkish::splitShare(share, num, den);
    const auto where = [&] {
        return std::string() + "split of share " + show(share) + " gave " + show(num) + " / " + show(den);
    };
    if (!share.contains(u'/')) {
        CHECK(num == Value::number(-1) && den == Value::number(-2), where());
        return std::nullopt;
    }
    CHECK(num.isText() && den.isText() && !num.asText().isNull() && !den.asText().isNull(), where());
    CHECK(num.asText() + u'/' + den.asText() == share && !den.asText().contains(u'/'), where());
    return num.asText();
}

// ---------------------------------------------------------------------------
// Numbers

// Val gives a finite number or Error 6; the number's text reads back to it.
void checkVal(const QString &text)
{
    double d = 0;
    const int e = errorOf([&] { d = val(text); });
    CHECK(e == 0 || e == err::Overflow, "val of " + show(text) + " gave error " + std::to_string(e));
    if (e != 0)
        return;
    CHECK(std::isfinite(d), "val of " + show(text));
    const QString t = valText(Value::number(d));
    double back = 0;
    const int e2 = errorOf([&] { back = val(t); });
    CHECK(e2 == 0 && back == d, "val of " + show(text) + " is " + show(t) + ", which reads back as "
                                    + std::to_string(back) + " (error " + std::to_string(e2) + ")");
    CHECK(valText(Value::text(text)) == text, "valText of " + show(text));
}

// A numerator that counts as a number is 1 exactly when Val reads it as 1.
void checkNumerator(const QString &numerator)
{
    bool one = false;
    const int e = errorOf([&] { one = countsAsOne(Value::text(numerator)); });
    CHECK(e == 0 || e == err::TypeMismatch, "countsAsOne of " + show(numerator) + " gave error " + std::to_string(e));
    if (e != 0)
        return;
    double d = 0;
    const int ev = errorOf([&] { d = val(numerator); });
    CHECK(ev == 0 && one == (d == 1), "countsAsOne of " + show(numerator) + " is " + std::to_string(one)
                                          + " but val gave " + std::to_string(d) + " (error " + std::to_string(ev)
                                          + ")");
}

void checkLine(const QString &line)
{
    const layout::Values v = layout::cutAll(line);
    checkCut(line, v);
    checkOwnerName(v[layout::OwnerName].toString());
    checkFatherName(v[layout::FatherName].toString());
    for (const int c : {layout::OldShare, layout::NewShare})
        if (const auto num = checkShare(v[c].toString()))
            checkNumerator(*num);
    for (const QStringView column : v)
        checkVal(column.toString());
    checkVal(line);
}

// ---------------------------------------------------------------------------
// The run

class RecordingWindow : public WindowPort {
public:
    QString path;
    bool okEnabled = true, cancelEnabled = true, progressVisible = false;
    float min = -1, max = -1;
    std::vector<float> values;
    std::vector<QString> boxes, questions, waitingTexts;
    bool convertAgain = false; // the answer to "Convert again?"

    void reset()
    {
        okEnabled = cancelEnabled = true;
        progressVisible = false;
        min = max = -1;
        values.clear();
        boxes.clear();
        questions.clear();
        waitingTexts.clear();
    }
    QString text1() const override { return path; }
    void setCommand1Enabled(bool on) override { okEnabled = on; }
    void setCommand3Enabled(bool on) override { cancelEnabled = on; }
    void setProgressVisible(bool on) override { progressVisible = on; }
    void setProgressMin(float v) override { min = v; }
    void setProgressMax(float v) override { max = v; }
    void setProgressValue(float v) override { values.push_back(v); }
    void msgBox(const QString &prompt, MessageIcon) override { boxes.push_back(prompt); }
    void showWaiting(const QString &text) override { waitingTexts.push_back(text); }
    bool askConvertAgain(const QString &question) override
    {
        questions.push_back(question);
        return convertAgain;
    }
};

// One database and one engine for the whole process, as the window keeps
// them; a connection of its own checks what reached the file.
class RunHarness {
public:
    RunHarness()
    {
        CHECK(m_dir.isValid(), "no temporary directory");
        CHECK(QDir::setCurrent(m_dir.path()), "cannot enter " + show(m_dir.path()));
        m_engine.openDatabase(QStringLiteral("ovrek1.mdb"));
        const QByteArray file = QFile::encodeName(m_dir.filePath(QStringLiteral("ovrek1.mdb")));
        CHECK(sqlite3_open_v2(file.constData(), &m_checker, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK,
              "cannot open the database to check it");
    }
    ~RunHarness()
    {
        sqlite3_close(m_checker);
        try {
            m_engine.db.close();
        } catch (const Error &) {
        }
    }

    // The integers of the first row of `sql` (count, min, max...); NULL reads as 0.
    std::vector<qint64> integers(const char *sql)
    {
        sqlite3_stmt *q = nullptr;
        CHECK(sqlite3_prepare_v2(m_checker, sql, -1, &q, nullptr) == SQLITE_OK, sqlite3_errmsg(m_checker));
        std::vector<qint64> out;
        const int rc = sqlite3_step(q);
        for (int i = 0; rc == SQLITE_ROW && i < sqlite3_column_count(q); ++i)
            out.push_back(sqlite3_column_int64(q, i));
        sqlite3_finalize(q);
        CHECK(rc == SQLITE_ROW, std::string(sql) + ": " + sqlite3_errmsg(m_checker));
        return out;
    }
    qint64 rows() { return integers("SELECT count(*) FROM ovrekson")[0]; }

    // The stored names: adi, soyadi and babaadi of every record.
    std::vector<std::array<QString, 3>> names()
    {
        sqlite3_stmt *q = nullptr;
        CHECK(sqlite3_prepare_v2(m_checker, "SELECT adi, soyadi, babaadi FROM ovrekson", -1, &q, nullptr) == SQLITE_OK,
              sqlite3_errmsg(m_checker));
        std::vector<std::array<QString, 3>> out;
        int rc;
        while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
            std::array<QString, 3> row;
            for (int i = 0; i < 3; ++i)
                row[i] =
                    QString(static_cast<const QChar *>(sqlite3_column_text16(q, i)), sqlite3_column_bytes16(q, i) / 2);
            out.push_back(row);
        }
        sqlite3_finalize(q);
        CHECK(rc == SQLITE_DONE, std::string("reading the names: ") + sqlite3_errmsg(m_checker));
        return out;
    }

    // Fails when the run left a write transaction open: nothing else writes.
    void empty()
    {
        const int rc = sqlite3_exec(m_checker, "DELETE FROM ovrekson", nullptr, nullptr, nullptr);
        CHECK(rc == SQLITE_OK, std::string("emptying the table after a run: ") + sqlite3_errmsg(m_checker));
    }

    void run(const QByteArray &bytes);

private:
    QTemporaryDir m_dir;
    RecordingWindow m_window;
    Engine m_engine{m_window};
    sqlite3 *m_checker = nullptr;
    std::set<QString> m_stored; // SHA-256 of every report whose records a run logged
};

void RunHarness::run(const QByteArray &bytes)
{
    empty();
    writeFile(m_dir.filePath(QStringLiteral("report.txt")), bytes);
    m_window.reset();
    m_window.path = QStringLiteral("report.txt");
    // An operator asked about a report converted before may say either; the input decides, so a replay repeats it.
    m_window.convertAgain = bytes.size() % 2 == 1;
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const bool convertedBefore = m_stored.count(sha) > 0;

    const qint64 before = rows();
    RunOutcome o;
    try {
        o = m_engine.Command1_Click();
    } catch (const Error &e) {
        throw CheckFailure("the run threw Error " + std::to_string(e.number()) + ": " + show(e.description()));
    }
    const qint64 after = rows();
    const auto summary = [&] {
        return std::string() + "run ended " + std::to_string(int(o.end)) + ", error " + std::to_string(o.errorNumber)
               + " " + show(o.errorDescription) + ", line " + std::to_string(o.stoppedAtLine) + ", "
               + std::to_string(o.recordsStored) + " stored";
    };

    CHECK(m_window.okEnabled && m_window.cancelEnabled && !m_window.progressVisible,
          "window left unusable; " + summary());
    CHECK(!m_engine.report.isOpen(), "report left open; " + summary());
    CHECK(after - before == o.recordsStored,
          "the file grew by " + std::to_string(after - before) + " records; " + summary());
    // Nothing else writes, so no run waits for the write lock.
    CHECK(m_window.waitingTexts.empty(), std::to_string(m_window.waitingTexts.size()) + " waits; " + summary());

    using End = RunOutcome::End;
    // A report the table could not take is refused with a box before anything is asked or written.
    const bool refused = o.end == End::NotStarted;
    CHECK(m_window.questions.size() == (convertedBefore && !refused ? 1u : 0u),
          std::to_string(m_window.questions.size()) + " questions, converted before: " + std::to_string(convertedBefore)
              + "; " + summary());
    if (o.end == End::Duplicate) {
        // Refused on the operator's word: no box, nothing stored, nothing logged, the earlier run named.
        CHECK(convertedBefore && !m_window.convertAgain, "a duplicate refused; " + summary());
        CHECK(m_window.boxes.empty() && m_window.values.empty() && o.recordsStored == 0 && o.conversionId == 0,
              std::to_string(m_window.boxes.size()) + " boxes after a duplicate; " + summary());
        CHECK(o.earlier && o.earlier->sha256 == sha && o.earlier->records > 0, "the earlier run; " + summary());
        return;
    }
    CHECK(m_window.boxes.size() == 1, std::to_string(m_window.boxes.size()) + " message boxes; " + summary());
    CHECK(m_window.boxes[0] == o.message, "the box said " + show(m_window.boxes[0]) + "; " + summary());
    // A run's records have the contiguous keys its outcome names.
    const std::vector<qint64> keys = integers("SELECT count(*), min(id), max(id) FROM ovrekson");
    CHECK(o.recordsStored == 0 ? o.firstKey == 0 && o.lastKey == 0
                               : keys[1] == o.firstKey && keys[2] == o.lastKey && keys[2] - keys[1] + 1 == keys[0],
          "keys " + std::to_string(keys[1]) + ".." + std::to_string(keys[2]) + " for " + std::to_string(keys[0])
              + " records, told " + std::to_string(o.firstKey) + ".." + std::to_string(o.lastKey) + "; " + summary());
    if (o.recordsStored > 0 && o.conversionId > 0)
        m_stored.insert(sha);

    const size_t lines = splitLines(bytes).size();
    if (refused) {
        // Besides its size, only bytes no printed report holds may refuse a report as no text.
        CHECK(lines == 0 || lines > 32767 || (o.errorNumber == 321 && looksBinary(bytes)),
              "a report of " + std::to_string(lines) + " lines not started; " + summary());
        CHECK(o.recordsStored == 0 && o.conversionId == 0 && m_window.values.empty()
                  && o.message.startsWith(QStringLiteral("Nothing was converted.\n\n")),
              summary());
        return;
    }
    CHECK(lines > 0 && lines <= 32767, "a report of " + std::to_string(lines) + " lines was converted; " + summary());
    CHECK(o.linesInReport == int(lines) && m_window.min == 0 && m_window.max == float(lines),
          "the bar runs to " + std::to_string(m_window.max) + " for " + std::to_string(lines) + " lines; " + summary());
    CHECK(o.linesRead <= o.linesInReport && o.stoppedAtLine == o.linesRead, summary());
    CHECK(m_window.values.size() == size_t(o.linesRead),
          "the bar moved " + std::to_string(m_window.values.size()) + " times; " + summary());
    for (size_t i = 0; i < m_window.values.size(); ++i)
        CHECK(m_window.values[i] == float(i + 1), "bar value " + std::to_string(m_window.values[i]) + "; " + summary());

    int dataLines = 0;
    for (int n = 1; n <= o.linesRead; ++n)
        dataLines += layout::inDataBlock(n) ? 1 : 0;
    CHECK(o.recordsStored >= 0 && o.recordsStored <= dataLines,
          std::to_string(dataLines) + " data lines; " + summary());

    // Whatever the report held, names are stored repaired and cased: no ASCII
    // capital or İ inside a word (owners) or after the first letter (fathers),
    // and no misread CP857 capital where casing keeps the character (inside a
    // word, š may be the lowered Š of byte 0x8A).
    for (const auto &row : names()) {
        for (int f = 0; f < 3; ++f) {
            const QString &t = row[f];
            for (qsizetype p = 0; p < t.size(); ++p) {
                const bool wordStart = p == 0 || (f < 2 && t[p - 1] == u' ');
                const bool capital = (t[p] >= u'A' && t[p] <= u'Z') || t[p] == QChar(0x0130);
                CHECK(wordStart ? !misread(t[p]) : !capital && (!misread(t[p]) || t[p] == QChar(0x0161)),
                      "stored name " + show(t) + "; " + summary());
            }
        }
    }

    switch (o.end) {
    case End::Converted:
    case End::InvalidFile:
        CHECK((o.errorNumber == 0 || o.errorNumber == err::ZeroLengthString) && o.unconvertedDataLines == 0, summary());
        break;
    case End::Incomplete: CHECK(o.errorNumber == err::ZeroLengthString && o.unconvertedDataLines > 0, summary()); break;
    case End::Failed:
        // What a report alone can cause; anything else is the program's fault.
        CHECK(o.errorNumber == err::InputPastEnd || o.errorNumber == err::TypeMismatch || o.errorNumber == err::Overflow
                  || o.errorNumber == err::NoCurrentRecord || o.errorNumber == err::DamagedReport,
              summary());
        break;
    case End::Interrupted: CHECK(false, "a run nobody interrupted ended interrupted; " + summary()); break;
    case End::NotStarted:
    case End::Duplicate: break;
    }
}

} // namespace

void checkReportText(const QByteArray &bytes)
{
    static QTemporaryDir dir;
    CHECK(dir.isValid(), "no temporary directory");
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    try {
        writeFile(path, bytes);
        const std::vector<QString> lines = checkReader(path, bytes);
        for (const QString &line : lines)
            checkLine(line);

        // The same lines across the reader's 64 KiB refill: after a first line
        // that fills the buffer up to the input's first CR (a CR LF split() by
        // the refill) or, without a CR, up to its middle.
        constexpr qsizetype buffer = 64 * 1024;
        const qsizetype cr = bytes.indexOf('\r');
        const qsizetype cut = cr >= 0 ? cr + 1 : bytes.size() / 2;
        if (cut < buffer) {
            QByteArray shifted(buffer - cut, 'x');
            shifted.back() = '\n';
            writeFile(path, shifted + bytes);
            checkShiftedReader(path, shifted.size() - 1, lines);
        }
    } catch (const Error &e) {
        throw CheckFailure("unexpected Error " + std::to_string(e.number()) + ": " + show(e.description()));
    }
}

namespace {
std::unique_ptr<RunHarness> runHarness;
} // namespace

void releaseRun()
{
    runHarness.reset();
}

void checkRun(const QByteArray &bytes)
{
    try {
        // Built on first use, after the application object; a caller that
        // ends before the process does releases it while Qt's SQL module lives.
        if (!runHarness)
            runHarness = std::make_unique<RunHarness>();
        runHarness->run(bytes);
    } catch (const Error &e) {
        throw CheckFailure("unexpected Error " + std::to_string(e.number()) + ": " + show(e.description()));
    }
}

} // namespace fuzzcheck
