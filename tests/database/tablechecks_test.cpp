#include "dbtestutil.h"
#include "openstore.h"
#include "schema.h"
#include "store.h"
#include "tempdir.h"

#include <limits>

using zefto::Value;
namespace schema = zefto::schema;

// While a run writes our own table the store judges its CHECKs, not SQLite:
// every record must fare as in the same table with a trigger, which the store
// does not take as its own and so leaves to SQLite. Fields 1 to 19 are columns 2 to 20.
TEST_F(TempDirTest, RecordsInOurTableFareAsWhenSQLiteJudgesThem)
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
                                                      {schema::Adi, Value()}};
    const auto outcomes = [&](const QString &create, bool trigger) {
        zefto::openStore(QStringLiteral("t.mdb"), zefto::Missing::Create, {})->close(); // in UTF-16, as ours are
        rawRows(path(QStringLiteral("t.mdb")), QStringLiteral("DROP TABLE ovrekson"));
        rawRows(path(QStringLiteral("t.mdb")), create);
        if (trigger)
            rawRows(path(QStringLiteral("t.mdb")),
                    QStringLiteral("CREATE TRIGGER t AFTER INSERT ON ovrekson BEGIN SELECT 1; END"));
        const auto store = zefto::openStore(QStringLiteral("t.mdb"), zefto::Missing::Refuse, {});
        QStringList out;
        const auto show = [&](const zefto::Record &r) {
            for (const Value &v : r)
                out << (v.isText()     ? u'\'' + v.asText() + u'\''
                        : v.isDouble() ? QString::number(v.asDouble())
                                       : QStringLiteral("NULL"));
        };
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
            if (const int number = errorNumber([&] { store->append(r, given); }, &error))
                out << QString::number(number) << error;
            else
                show(*store->lastRecord());
        }
        store->readRecords({{1, 1000}}, show);
        store->rollbackRun();
        QFile::remove(path(QStringLiteral("t.mdb")));
        return out.join(u'\n').replace(path(QStringLiteral("t.mdb")), QStringLiteral("FILE")).toStdString();
    };
    for (const QString &create :
         {schema::createStatement(), schema::typeofCreateStatement(), schema::strictCreateStatement()}) {
        const std::string judged = outcomes(create, false);
        EXPECT_EQ(judged, outcomes(create, true));
        EXPECT_NE(judged.find("3315\nField 'eparsel'"), std::string::npos) << judged; // what is left of a mark alone
    }
}
