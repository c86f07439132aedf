#include "codepage.h"
#include "turkish.h"
#include "valueprinter.h"

#include <gtest/gtest.h>

using namespace zefto;
using namespace zefto::turkish;

namespace {

QString decoded(const QByteArray &b)
{
    return decodeWindows1254(b.constData(), b.size());
}

// An owner name column through the owner-row steps, as the page converter applies them.
struct Owner {
    Value adi, soyadi;
    ValidityFlag flag = 0;
};
Owner owner(const QString &column)
{
    Owner o;
    QString name = trimTrailingBlanks(column).toString();
    repairCp857(name, NameKind::Owner, o.flag);
    if (!name.isEmpty()) {
        QString cased = name;
        properCase(cased);
        splitOwnerName(cased, o.adi, o.soyadi);
    }
    return o;
}
Value text(const char16_t *s)
{
    return Value::text(QString::fromUtf16(s));
}

} // namespace

TEST(OwnerNames, RepairedCasedAndSplit)
{
    const QString ustIsik = decoded(QByteArray("\x9AST I\x9EIK") + QByteArray(13, ' '));
    EXPECT_EQ(trimTrailingBlanks(ustIsik).size(), 8);
    const Owner o = owner(ustIsik);
    EXPECT_EQ(o.adi, text(u"Üst"));
    EXPECT_EQ(o.soyadi, text(u"Işık"));

    EXPECT_EQ(owner(decoded("\x98K\x98NC\x98 I\x9EIK")).adi, text(u"İkinci"));
    EXPECT_EQ(owner(QStringLiteral("ALTIN  KAYA")).adi, text(u"Altın "));
    EXPECT_EQ(owner(QStringLiteral("ALTIN  KAYA")).soyadi, text(u"Kaya"));
    EXPECT_EQ(owner(QStringLiteral("YAZI-TEPE KAYA")).adi, text(u"Yazı-tepe"));
    EXPECT_EQ(owner(decoded("MEHMET AL\x98 \x80"
                            "EL\x98K"))
                  .adi,
              text(u"Mehmet Ali"));
    EXPECT_EQ(owner(decoded("\x99MER \x80"
                            "EL\x98K"))
                  .soyadi,
              text(u"Çelik"));
}

TEST(OwnerNames, InstitutionsAndOneWordNamesHaveNoSurname)
{
    for (const QByteArray &b : {QByteArray("OVREK BELED\x98YES\x98     "), QByteArray("MAL\x98YE HAZ\x98NES\x98")}) {
        const Owner o = owner(decoded(b));
        EXPECT_TRUE(o.soyadi.isUnset());
        EXPECT_TRUE(o.adi == text(u"Ovrek Belediyesi") || o.adi == text(u"Maliye Hazinesi"));
    }
    const Owner hazine = owner(decoded("HAZ\x98NE"));
    EXPECT_EQ(hazine.adi, text(u"Hazine"));
    EXPECT_TRUE(hazine.soyadi.isUnset());
    // Anything else in the column defeats the institution match.
    EXPECT_EQ(owner(QStringLiteral(" OVREK BELEDIYESI")).soyadi, text(u"Beledıyesı"));
}

TEST(OwnerNames, BlankAndEmptyColumns)
{
    // All blank (a line ending inside the column): kept, split at the last blank.
    const Owner blanks = owner(QString(5, u' '));
    EXPECT_EQ(blanks.adi, Value::text(QString(4, u' ')));
    EXPECT_EQ(blanks.soyadi, Value::text(QStringLiteral("")));
    // Empty: nothing runs, the slots keep what they had.
    EXPECT_TRUE(owner(QString()).adi.isUnset());
}

TEST(OwnerNames, OnlyAGInAFathersNameSetsTheFlag)
{
    ValidityFlag flag = 0;
    QString owner = decoded("DA\xA6 KAYA");
    repairCp857(owner, NameKind::Owner, flag);
    EXPECT_EQ(owner, QStringLiteral("DAĞ KAYA"));
    EXPECT_EQ(flag, 0);

    QString other = decoded("\x98\x80\x9A\x9E\x99");
    repairCp857(other, NameKind::Father, flag);
    EXPECT_EQ(other, QStringLiteral("İÇÜŞÖ"));
    EXPECT_EQ(flag, 0);

    QString father = decoded("DA\xA6");
    repairCp857(father, NameKind::Father, flag);
    firstLetterCase(father);
    EXPECT_EQ(father, QStringLiteral("Dağ"));
    EXPECT_EQ(flag, 1);
}

TEST(FathersNames, EveryLetterAfterTheFirstIsLoweredAndBlanksStay)
{
    ValidityFlag flag = 0;
    QString father = decoded("DER\x98N SU  ");
    repairCp857(father, NameKind::Father, flag);
    firstLetterCase(father);
    EXPECT_EQ(father, QStringLiteral("Derin su  "));
    EXPECT_EQ(father.size(), 10);
}

TEST(Casing, UnrepairedLowerCaseBytesPassThrough)
{
    ValidityFlag flag = 0;
    QString name = decoded("A\x87\x9F\x81");
    repairCp857(name, NameKind::Owner, flag);
    properCase(name);
    EXPECT_EQ(name, QString::fromUtf16(u"A\u2021\u00FF\u0081")); // ‡ stays, Ÿ lowers to ÿ
    EXPECT_EQ(lower(u'I'), u'ı');
    EXPECT_EQ(lower(u'İ'), u'i');
    EXPECT_EQ(lower(u'Ş'), u'ş');
    EXPECT_EQ(lower(u'7'), u'7');
    QString afterDigit = QStringLiteral("A1B.C D");
    properCase(afterDigit);
    EXPECT_EQ(afterDigit, QStringLiteral("A1b.c D"));
}

TEST(Casing, EveryCharacterLowersAsUnicodeSaysButTheTwoTurkishIs)
{
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const char16_t expected = c == u'I' ? u'ı' : c == u'İ' ? u'i' : QChar(c).toLower().unicode();
        ASSERT_EQ(lower(char16_t(c)), expected) << std::hex << int(c);
    }
}

TEST(Shares, TheLastSlashDecides)
{
    struct Case {
        const char *in;
        const char *num;
        const char *den;
    } cases[] = {
        {"     12/48 ", "     12", "48 "},
        {"1/2/3", "1/2", "3"},
        {"/", "", ""},
        {"    1/1    ", "    1", "1    "},
    };
    for (const Case &c : cases) {
        Value n, d;
        splitShare(QString::fromLatin1(c.in), n, d);
        EXPECT_EQ(n, Value::text(QString::fromLatin1(c.num))) << c.in;
        EXPECT_EQ(d, Value::text(QString::fromLatin1(c.den))) << c.in;
        EXPECT_FALSE(n.asText().isNull());
    }
    Value n = Value::text(QStringLiteral("3")), d = Value::text(QStringLiteral("4"));
    splitShare(QStringLiteral("12"), n, d);
    splitShare(QString(), n, d);
    EXPECT_EQ(n, Value::text(QStringLiteral("3")));
    EXPECT_EQ(d, Value::text(QStringLiteral("4")));
}
