#include "foldedneedle.h"
#include "letterfold.h"

#include <QStringList>
#include <gtest/gtest.h>

using zefto::containsFolded;
using zefto::foldLetters;

namespace {
QString u(const char16_t *s)
{
    return QString::fromUtf16(s);
}
} // namespace

TEST(LetterFold, TheFourIsAreOneLetterInEitherCase)
{
    EXPECT_EQ(foldLetters(u(u"I İ ı i")), u(u"i i i i"));
    EXPECT_EQ(foldLetters(u(u"IŞIK")), u(u"isik"));
    EXPECT_EQ(foldLetters(u(u"İSTANBUL")), u(u"istanbul"));
    EXPECT_EQ(foldLetters(u(u"Işık")), u(u"isik"));
}

TEST(LetterFold, MarkedLettersLoseTheirMarksUpperAndLower)
{
    EXPECT_EQ(foldLetters(u(u"ÇĞÖŞÜ")), u(u"cgosu"));
    EXPECT_EQ(foldLetters(u(u"çğöşü")), u(u"cgosu"));
    EXPECT_EQ(foldLetters(u(u"Tarçınbağı")), u(u"tarcinbagi"));
    EXPECT_EQ(foldLetters(u(u"Hâkim Îmren Ûmit")), u(u"hakim imren umit"));
}

TEST(LetterFold, DecomposedInputFoldsLikeComposed)
{
    // "Ş" and "İ" typed as a letter followed by its combining mark.
    EXPECT_EQ(foldLetters(u(u"S\u0327AH\u0130N")), u(u"sahin"));
    EXPECT_EQ(foldLetters(u(u"I\u0307")), u(u"i"));
}

TEST(LetterFold, EverythingElseIsOnlyLowered)
{
    EXPECT_EQ(foldLetters(u(u"  123/45 Ada-7 ")), u(u"  123/45 ada-7 "));
    EXPECT_EQ(foldLetters(QString()), QString());
    EXPECT_EQ(foldLetters(u(u"ß€")), u(u"ß€"));
}

TEST(LetterFold, ContainsFoldedFindsAcrossCaseAndMarks)
{
    EXPECT_TRUE(containsFolded(u(u"Işık"), u(u"isik")));
    EXPECT_TRUE(containsFolded(u(u"Çiftçi"), u(u"ÇİFTÇİ")));
    EXPECT_TRUE(containsFolded(u(u"Ahmet Öztürk"), u(u"ozturk")));
    EXPECT_TRUE(containsFolded(u(u"Tarçınbağı"), u(u"CINBAG")));
    EXPECT_TRUE(containsFolded(u(u"Şahin"), QString()));
}

TEST(LetterFold, ContainsFoldedStillTellsDifferentLettersApart)
{
    EXPECT_FALSE(containsFolded(u(u"Işık"), u(u"isak")));
    EXPECT_FALSE(containsFolded(u(u"Çiftçi"), u(u"ciftcil")));
    EXPECT_FALSE(containsFolded(u(u"Ova"), u(u"Öva ")));
    EXPECT_FALSE(containsFolded(QString(), u(u"a")));
}

// The fast fold behind the database's filters, against the rule above.
TEST(FoldedNeedle, FindsExactlyWhatTheRuleFindsAmongTurkishLettersInEveryForm)
{
    const QStringList texts{u(u"IŞIK"),
                            u(u"Işık"),
                            u(u"ışık"),
                            u(u"İSMAİL HAKKI"),
                            u(u"S\u0327AH\u0130N"),
                            u(u"Çiftçi Ğ Ü Ö"),
                            u(u"Hâkim Îmren Ûmit"),
                            u(u"Tarçınbağı 12/3"),
                            u(u"I\u0307\u0327x"),
                            u(u"Ka\u1B44\u0301ya"),
                            u(u"Ka\U0001D15Eya"),
                            QString()};
    const QStringList needles{u(u"isik"), u(u"IŞIK"),     u(u"ı"),           u(u"İ"),   u(u"i\u0307"),
                              u(u"sah"),  u(u"ciftci g"), u(u"hakim"),       u(u"ĞÜÖ"), u(u"2/3"),
                              u(u"ş"),    u(u"\u1B44y"),  u(u"a\U0001D15E"), QString(), u(u"x")};
    for (const QString &text : texts)
        for (const QString &n : needles) {
            zefto::FoldedNeedle needle(n);
            EXPECT_EQ(needle.foundIn(text), containsFolded(text, n)) << text.toStdString() << " / " << n.toStdString();
        }
}

TEST(FoldedNeedle, EveryCharacterFoldsAloneAsItDoesBetweenLetters)
{
    int whole = 0;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        const zefto::UnitFold f = zefto::foldUnit(char16_t(c));
        if (f.whole) {
            ++whole;
            continue;
        }
        const QString text = u(u"Ka") + QChar(char16_t(c)) + u(u"ya");
        ASSERT_EQ(foldLetters(text), u(u"ka") + f.folded.toString() + u(u"ya")) << std::hex << uint(c);
    }
    EXPECT_LT(whole, 0x800 + 64); // the surrogates and a few marks, no more
}
