// Wildcard masks: the matcher of the scanner and of the extractors' selection.
#include <gtest/gtest.h>

#include <string>

#include "engine/base/zidMask.h"

using zid::MatchesMask;

TEST(Mask, StarAndQuestionMark) {
  EXPECT_TRUE(MatchesMask("readme.txt", "*"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_TRUE(MatchesMask("readme.txt", "*.txt"));
  EXPECT_FALSE(MatchesMask("readme.txt", "*.doc"));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_FALSE(MatchesMask("abbc", "a?c"));
  EXPECT_FALSE(MatchesMask("ab", "ab?"));  // "?" needs a character
  EXPECT_TRUE(MatchesMask("a.b.c", "a*c"));
  EXPECT_FALSE(MatchesMask("abcd", "abc"));  // the end is anchored
  EXPECT_FALSE(MatchesMask("abc", "abcd"));
}

TEST(Mask, BacktracksOverRepeatedCharacters) {
  EXPECT_TRUE(MatchesMask("aXbXc.txt", "*X*.txt"));
  EXPECT_TRUE(MatchesMask("abab.abab", "*ab"));
  EXPECT_TRUE(MatchesMask("mississippi", "m*iss*ppi"));
  EXPECT_TRUE(MatchesMask("mississippi", "*s?i*i"));
  EXPECT_FALSE(MatchesMask("mississippi", "m*iss*ppix"));
  EXPECT_TRUE(MatchesMask("aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*b"));
  EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(Mask, StarThenQuestionMarkIsStar) {
  // "*?" compiles to "*": the "?" no longer demands a character.
  EXPECT_TRUE(MatchesMask("ac", "a*?c"));
  EXPECT_TRUE(MatchesMask("abc", "a*?c"));
  EXPECT_TRUE(MatchesMask("abbbc", "a*?c"));
  EXPECT_FALSE(MatchesMask("abd", "a*?c"));
  EXPECT_TRUE(MatchesMask("", "*?"));
}

TEST(Mask, TrailingDotMeansNoExtension) {
  EXPECT_TRUE(MatchesMask("readme", "*."));
  EXPECT_FALSE(MatchesMask("readme.txt", "*."));
  EXPECT_TRUE(MatchesMask("readme", "readme."));
  EXPECT_TRUE(MatchesMask("readme.", "readme."));
  EXPECT_FALSE(MatchesMask("readme.txt", "readme."));
  // Without the trailing dot nothing is appended.
  EXPECT_FALSE(MatchesMask("readme", "*.*"));
  EXPECT_TRUE(MatchesMask("readme.txt", "*.*"));
}

TEST(Mask, BracketsAreLiteral) {
  EXPECT_TRUE(MatchesMask("[ab].txt", "[ab].txt"));
  EXPECT_FALSE(MatchesMask("a.txt", "[ab].txt"));
  EXPECT_FALSE(MatchesMask("b.txt", "[ab].txt"));
  EXPECT_TRUE(MatchesMask("x[1]", "*[?]"));
}

TEST(Mask, CaseInsensitiveForAsciiOnly) {
  EXPECT_TRUE(MatchesMask("README.TXT", "readme.txt"));
  EXPECT_TRUE(MatchesMask("ReadMe.Txt", "*.TXT"));
  EXPECT_TRUE(MatchesMask("\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9T\xC3\xA9.*"));  // "été"
  EXPECT_FALSE(MatchesMask("\xC3\x89T\xC3\x89.txt", "\xC3\xA9t\xC3\xA9.*"));  // "ÉTÉ" vs "été"
}

TEST(Mask, QuestionMarkTakesOneUtf8Character) {
  EXPECT_TRUE(MatchesMask("\xC3\xA9.txt", "?.txt"));       // "é" is one character
  EXPECT_TRUE(MatchesMask("\xE2\x82\xAC", "?"));           // "€"
  EXPECT_FALSE(MatchesMask("\xE2\x82\xAC", "??"));
  EXPECT_TRUE(MatchesMask("\xFF\xFE.bin", "??.bin"));       // invalid bytes count one each
  EXPECT_TRUE(MatchesMask("\xFF\xFE.bin", "*.bin"));
  EXPECT_TRUE(MatchesMask("\xC3", "?"));                    // a cut sequence is one byte
}

TEST(Mask, StarLimit) {
  // 30 star runs compile and work; 31 make a mask that matches nothing.
  std::string mask30, name;
  for (int i = 0; i < 30; ++i) {
    mask30 += "*x";
    name += "ax";
  }
  zid::TInternalMask ok;
  EXPECT_TRUE(ok.Compile(mask30));
  EXPECT_TRUE(ok.Matches(name));
  zid::TInternalMask tooMany;
  EXPECT_FALSE(tooMany.Compile(mask30 + "*x"));
  EXPECT_FALSE(tooMany.Valid());
  EXPECT_FALSE(tooMany.Matches(name + "ax"));
  EXPECT_FALSE(MatchesMask(name + "ax", mask30 + "*x"));
  // Stars in a row are one run.
  EXPECT_TRUE(MatchesMask("abc", std::string(100, '*')));
}

TEST(Mask, ListNormalisation) {
  EXPECT_EQ(zid::NormalizeMask(""), "*");
  EXPECT_EQ(zid::NormalizeMask("*.*"), "*");
  EXPECT_EQ(zid::NormalizeMask("*.txt"), "*.txt");
  zid::TMaskList list({"*.*"});
  EXPECT_TRUE(list.Matches("readme"));  // "*.*" in a list takes names without a dot too
  zid::TMaskList empty({""});
  EXPECT_TRUE(empty.Matches("anything"));
  zid::TMaskList several({"*.txt", "*.doc"});
  EXPECT_TRUE(several.Matches("a.doc"));
  EXPECT_TRUE(several.Matches("a.TXT"));
  EXPECT_FALSE(several.Matches("a.pdf"));
  EXPECT_FALSE(zid::TMaskList().Matches("a"));
}
