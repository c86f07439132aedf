#include "letterfold.h"

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
