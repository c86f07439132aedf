#include "dbtestutil.h"
#include "openstore.h"
#include "schema.h"
#include "tempdir.h"

#include <limits>

using namespace Qt::StringLiterals;
using zefto::Value;
namespace schema = zefto::schema;

// In a run on our own table the store judges its CHECKs: every record must fare as in the same
// table with a trigger, which the store leaves to SQLite. Field f is column f + 1.
using TableChecksTest = TempDirTest;

TEST_F(TableChecksTest, RecordsInOurTableFareAsWhenSQLiteJudgesThem)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<int, Value>> cases = {{schema::Mahalle, Value::text({})},
                                                      {schema::Hisyuzolcumu, Value::text({})},
                                                      {schema::Yada, Value::text({})},
                                                      {schema::Eparsel, Value::text(QChar(0xFEFF))},
                                                      {schema::Eparsel, Value::text(QChar(0xFFFE) + u'x')},
                                                      {schema::Eparsel, Value::number(5)},
                                                      {schema::Eparsel, Value::number(nan)},
                                                      {schema::Tapu, Value::number(nan)},
                                                      {schema::Ealan, Value::text(QStringLiteral(" 12.5 "))},
                                                      {schema::Ealan, Value::text(QStringLiteral("12,5"))},
                                                      {-1, Value::number(7.5)},
                                                      {-1, Value::number(900)},
                                                      {schema::Adi, Value()},
                                                      {schema::Adi, Value::text(u"\xDC00\U0001D15E"_s)}};
    const QString file = path(QStringLiteral("t.mdb"));
    const auto outcomes = [&](const QString &create, const QString &trigger, bool utf16) {
        // In UTF-16 as older versions made every file, or in UTF-8 as new files are.
        utf16 ? makeUtf16File(file) : zefto::openStore(file, zefto::Missing::Create, {})->close();
        for (const QString &sql : {QStringLiteral("DROP TABLE ovrekson"), create, trigger})
            rawRows(file, sql.isEmpty() ? QStringLiteral("SELECT 1") : sql);
        const auto store = zefto::openStore(file, zefto::Missing::Refuse, {});
        std::vector<std::pair<QString, zefto::Record>> out; // each refusal or record stored, then the table
        store->beginRun([](bool) {});
        for (const auto &[field, value] : cases) {
            zefto::Record r(schema::FieldCount + 1, Value::text(QStringLiteral("1")));
            for (const int area : {schema::Ealan, schema::Tapu, schema::Dop, schema::Tahsis})
                r[size_t(area + 1)] = Value::number(0.5);
            r[size_t(field + 1)] = value;
            if (field == schema::Yada || field == -1) // a second refusal: SQLite names the first it meets
                r[1 + schema::Adi] = Value::text({});
            std::vector<bool> given(r.size(), true);
            given[0] = field == -1; // the key, given only where a case sets it
            QString error;
            const int number = errorNumber([&] { store->append(r, given); }, &error);
            out.emplace_back(number ? QString::number(number) + u' ' + error : QString(),
                             number ? zefto::Record() : *store->lastRecord());
        }
        store->readRecords({{1, 1000}}, [&](const zefto::Record &r) { out.emplace_back(QString(), r); });
        store->rollbackRun();
        QFile::remove(file);
        return out;
    };
    const QString trigger = QStringLiteral("CREATE TRIGGER t AFTER INSERT ON ovrekson BEGIN SELECT 1; END");
    for (const QString &create :
         {schema::createStatement(), schema::typeofCreateStatement(), schema::strictCreateStatement()}) {
        const auto judged = outcomes(create, {}, false);
        EXPECT_EQ(judged, outcomes(create, trigger, false));
        EXPECT_EQ(judged, outcomes(create, {}, true)); // a file's encoding changes nothing
        EXPECT_EQ(judged, outcomes(create, trigger, true));
        EXPECT_TRUE(judged[3].first.startsWith(QStringLiteral("3315 "))); // what is left of a mark alone
    }
}
