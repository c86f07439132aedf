#include "chosen.h"
#include "export.h"
#include "recordsfixture.h"

using namespace Qt::StringLiterals;
using zefto::records::allKeys;

namespace {

class FileEncodingTest : public RecordsFixture {};

INSTANTIATE_TEST_SUITE_P(File, FileEncodingTest, ::testing::Values(Backend::File), backendName);

} // namespace

// The same records in a file an older version made (UTF-16) and in a new one (UTF-8): each reads back as
// it was stored, but for what SQLite always did to a leading byte order mark, and is read, filtered,
// sorted and exported the same from either file. SQLite's own reading sees the same valid text in both.
TEST_P(FileEncodingTest, RecordsReadFilterSortAndExportTheSameFromUtf16AndUtf8Files)
{
    const QStringList owners{u"Şükrü Işık ÇİĞDEM ğüşıöçâ"_s, u"Ali 12/3 Ka\U0001D15Eya \x7f\u0080\u07ff\u0800\ufffd"_s,
                             QChar(0xD800) + u"yarım"_s,     u"yarım"_s + QChar(0xDC00),
                             QChar(0xFEFF) + u"İmli"_s,      QChar(0xFFFE) + u"Ters"_s};
    std::map<QString, QStringList> seen;
    for (const QString &encoding : {u"UTF-8"_s, u"UTF-16le"_s}) {
        if (encoding != u"UTF-8"_s)
            makeUtf16File(database());
        storeOwners(owners);
        EXPECT_EQ(query(u"PRAGMA encoding"_s)[0][0].toString(), encoding);
        const QList<QVariantList> sqlite = query(u"SELECT adi FROM ovrekson ORDER BY rowid"_s);
        QStringList &out = seen[encoding];
        zefto::Database db;
        db.open(database(), zefto::Missing::Refuse);
        db.readAfter(allKeys, 0, 100, [&](const zefto::Record &r) { out << r[1 + zefto::schema::Adi].asText(); });
        ASSERT_EQ(out.size(), owners.size());
        for (qsizetype i = 0; i < owners.size(); ++i) {
            const QString &o = owners[i];
            EXPECT_TRUE(o.front() == QChar(0xFEFF) || o.front() == QChar(0xFFFE) || out[i] == o) << i;
            EXPECT_TRUE(!o.isValidUtf16() || out[i] != o || sqlite[i][0].toString() == o) << i;
        }
        for (const QString &needle : {u"isik"_s, u"çiğdem ğ"_s, u"\U0001D15E"_s, u"imli"_s, u"yarim"_s, u"ters"_s}) {
            out << needle;
            db.matchingKeys(allKeys, 0, 100, needle, [&](qint64 k) { out << QString::number(k); });
        }
        for (const qint64 k : db.sortedKeys(allKeys, zefto::schema::Adi, false))
            out << QString::number(k);
        const auto exported = [&](const QString &suffix) {
            const QString file = path(encoding + suffix);
            const int replaced = zefto::records::exportRecords(db, file, allKeys, std::nullopt).replacedCharacters;
            QFile f(file);
            const bool csv = suffix == u".csv"_s && f.open(QIODevice::ReadOnly);
            return QString::number(replaced) + (csv ? QString::fromLatin1(f.readAll()) : QString());
        };
        out << exported(u".csv"_s) << exported(u".xlsx"_s);
        // Each text whole, however long the one before it in the column was: values are written over.
        QFile csv(path(encoding + u".csv"_s));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(csv.readAll());
        for (const QString &o : owners)
            EXPECT_TRUE(!o.isValidUtf16() || o.front() == QChar(0xFEFF) || o.front() == QChar(0xFFFE)
                        || written.contains(u',' + o + u','))
                << o.toStdString();
        db.close();
        QFile::remove(database());
    }
    EXPECT_EQ(seen[u"UTF-8"_s], seen[u"UTF-16le"_s]);
}
