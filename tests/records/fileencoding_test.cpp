#include "chosen.h"
#include "export.h"
#include "recordsfixture.h"

using namespace Qt::StringLiterals;

namespace {

class FileEncodingTest : public RecordsFixture {};

INSTANTIATE_TEST_SUITE_P(File, FileEncodingTest, ::testing::Values(Backend::File), backendName);

} // namespace

// The same records in a file an older version made (UTF-16) and in a new one (UTF-8): each reads back as
// it was stored, but for what SQLite always did to a leading byte order mark, and is read, filtered,
// sorted and exported the same from either file. SQLite's own reading sees the same valid text in both.
TEST_P(FileEncodingTest, RecordsReadFilterSortAndExportTheSameFromUtf16AndUtf8Files)
{
    const QStringList owners{u"Şükrü Işık"_s,
                             u"ÇİĞDEM Öz ğüşıöçâ"_s,
                             u"Ka\U0001D15Eya"_s,
                             u"\x7f\u0080\u07ff\u0800\ufffd"_s,
                             QChar(0xD800) + u"yarım"_s,
                             u"yarım"_s + QChar(0xDC00),
                             QChar(0xFEFF) + u"İmli"_s,
                             QChar(0xFFFE) + u"Ters"_s,
                             u"Ali 12/3"_s};
    const int adi = 1 + zefto::schema::Adi;
    std::map<QString, QStringList> seen;
    for (const QString &encoding : {u"UTF-8"_s, u"UTF-16le"_s}) {
        QFile::remove(database());
        if (encoding != u"UTF-8"_s)
            makeUtf16File(database());
        storeOwners(owners);
        EXPECT_EQ(query(u"PRAGMA encoding"_s).value(0).value(0).toString(), encoding);
        const QList<QVariantList> sqlite = query(u"SELECT adi FROM ovrekson ORDER BY rowid"_s);
        QStringList &out = seen[encoding];
        zefto::Database db;
        db.open(database(), zefto::Missing::Refuse);
        db.readAfter(zefto::records::allKeys, 0, 100, [&](const zefto::Record &r) { out << r[adi].asText(); });
        ASSERT_EQ(out.size(), owners.size());
        for (qsizetype i = 0; i < owners.size(); ++i) {
            const QString &o = owners[i];
            EXPECT_TRUE(o.front() == QChar(0xFEFF) || o.front() == QChar(0xFFFE) || out[i] == o)
                << encoding.toStdString() << i;
            EXPECT_TRUE(!o.isValidUtf16() || out[i] != o || sqlite[i][0].toString() == o)
                << encoding.toStdString() << i;
        }
        for (const QString &needle :
             {u"isik"_s, u"çiğdem öz"_s, u"\U0001D15E"_s, u"imli"_s, u"yarim"_s, u"ters"_s, u"12/"_s}) {
            QStringList keys;
            db.matchingKeys(zefto::records::allKeys, 0, 100, needle, [&](qint64 k) { keys << QString::number(k); });
            out << needle + u": "_s + keys.join(u' ');
        }
        for (const qint64 k : db.sortedKeys(zefto::records::allKeys, zefto::schema::Adi, false))
            out << QString::number(k);
        zefto::records::exportRecords(db, path(u"out.csv"_s), zefto::records::allKeys, std::nullopt);
        QFile csv(path(u"out.csv"_s));
        EXPECT_TRUE(csv.open(QIODevice::ReadOnly));
        out << QString::fromLatin1(csv.readAll());
        out << QString::number(
            zefto::records::exportRecords(db, path(u"out.xlsx"_s), zefto::records::allKeys, std::nullopt)
                .replacedCharacters);
        QFile::remove(path(u"out.csv"_s));
        QFile::remove(path(u"out.xlsx"_s));
    }
    EXPECT_EQ(seen[u"UTF-8"_s], seen[u"UTF-16le"_s]);
}
