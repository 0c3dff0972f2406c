// Text commands over byte strings. Double-byte data is written as GBK bytes
// with escapes so the cases mean the same natively and in the Windows build.

#include "base/text_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// "jpg、png、tif、bmp、ppm、pgm、pcx、pic、sgi" in GBK ("、" is A1 A2).
const std::string kExtensionList =
    "jpg\xA1\xA2png\xA1\xA2tif\xA1\xA2"
    "bmp\xA1\xA2ppm\xA1\xA2pgm\xA1\xA2pcx\xA1\xA2pic\xA1\xA2sgi";

TEST(TextLength, CountsBytesAndTreatsNullAsEmpty) {
  EXPECT_EQ(TextLength(nullptr), 0);
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("abc"), 3);
  EXPECT_EQ(TextLength("\xB0\xA1x"), 3);
}

TEST(LeftRightText, TakeByteCountsClampedToTheText) {
  EXPECT_EQ(LeftText("abcdef", 0), "");
  EXPECT_EQ(LeftText("abcdef", -4), "");
  EXPECT_EQ(LeftText("abcdef", 2), "ab");
  EXPECT_EQ(LeftText("abcdef", 100), "abcdef");
  EXPECT_EQ(RightText("abcdef", 0), "");
  EXPECT_EQ(RightText("abcdef", -1), "");
  EXPECT_EQ(RightText("abcdef", 2), "ef");
  EXPECT_EQ(RightText("abcdef", 7), "abcdef");
  EXPECT_EQ(RightText("", 3), "");
  // Counts are bytes: a cut may fall inside a double-byte character.
  EXPECT_EQ(LeftText("\xB0\xA1x", 1), "\xB0");
  EXPECT_EQ(RightText("x\xB0\xA1", 1), "\xA1");
}

TEST(FindText, FindsPositionsCountingDoubleByteCharactersAsTwoBytes) {
  EXPECT_EQ(FindText(kExtensionList, "png"), 6);
  EXPECT_EQ(FindText(kExtensionList, "PNG", {}, true), 6);
  EXPECT_EQ(FindText(kExtensionList, "PNG"), -1);
  EXPECT_EQ(FindText(kExtensionList, "sgi"), 41);
  EXPECT_EQ(FindText(kExtensionList, "gif", {}, true), -1);
  EXPECT_EQ(FindText("abc", "abcd"), -1);
}

TEST(FindText, NeverMatchesATrailByteInsideADoubleByteCharacter) {
  // 0x81 0x41 is one character whose trail byte is 'A'.
  EXPECT_EQ(FindText("\x81\x41", "A"), -1);
  EXPECT_EQ(FindText("\x81\x61", "A", {}, true), -1);
  EXPECT_EQ(FindText("\x81\x41"
                     "A",
                     "A"),
            3);
  // B0 A1 | A1 A2: the bytes A1 A1 straddle two characters and do not count.
  const std::string twoChars = "\xB0\xA1\xA1\xA2";
  EXPECT_EQ(FindText(twoChars, "\xA1\xA1"), -1);
  EXPECT_EQ(FindText(twoChars, "\xA1\xA2"), 3);
  EXPECT_EQ(FindTextFromEnd(twoChars, "\xA1\xA1"), -1);
  EXPECT_EQ(FindTextFromEnd(twoChars, "\xA1"), 3);
}

TEST(FindText, TextEndingInsideADoubleByteCharacterEndsTheWalk) {
  EXPECT_EQ(FindText("ab\xB0", "\xB0"), 3);
  EXPECT_EQ(FindText("ab\xB0", "\xB0x"), -1);
  EXPECT_EQ(FindTextFromEnd("ab\xB0", "b"), 2);
}

TEST(FindText, StartPositionLimitsTheSearchToTheRest) {
  EXPECT_EQ(FindText("abcabc", "abc", 2), 4);
  EXPECT_EQ(FindText("abcabc", "abc", 4), 4);
  EXPECT_EQ(FindText("abcabc", "abc", 5), -1);
  EXPECT_EQ(FindText("abcabc", "abc", 0), 1);
  EXPECT_EQ(FindText("abcabc", "abc", -7), 1);
  EXPECT_EQ(FindText("abcabc", "c", 6), 6);
  EXPECT_EQ(FindText("abcabc", "c", 7), -1);
  EXPECT_EQ(FindText("abcabc", "c", 1000), -1);
}

TEST(FindText, EmptySoughtTextFindsPositionOneOnlyInANonEmptyRange) {
  EXPECT_EQ(FindText("", ""), -1);
  EXPECT_EQ(FindText("abc", ""), 1);
  EXPECT_EQ(FindText("abc", "", 3), 1);
  EXPECT_EQ(FindText("abc", "", 4), -1);
  EXPECT_EQ(FindTextFromEnd("", ""), -1);
  EXPECT_EQ(FindTextFromEnd("abc", ""), 1);
  EXPECT_EQ(FindTextFromEnd("abc", "", 1), -1);
  EXPECT_EQ(FindTextFromEnd("abc", "", 2), 1);
}

TEST(FindTextFromEnd, FindsTheLastOccurrence) {
  EXPECT_EQ(FindTextFromEnd("C:\\a\\b.jpg", "\\"), 5);
  EXPECT_EQ(FindTextFromEnd("C:\\a\\b.jpg", "/"), -1);
  EXPECT_EQ(FindTextFromEnd("abcabc", "abc"), 4);
  EXPECT_EQ(FindTextFromEnd("aaaa", "aa"), 3);
  EXPECT_EQ(FindTextFromEnd("x.JPG", ".jpg", {}, true), 2);
  EXPECT_EQ(FindTextFromEnd("x.JPG", ".jpg"), -1);
}

TEST(FindTextFromEnd, StartPositionSearchesOnlyTheBytesBeforeIt) {
  const std::string path = "C:\\a\\b.jpg";
  EXPECT_EQ(FindTextFromEnd(path, "\\", 0), -1);
  EXPECT_EQ(FindTextFromEnd(path, "\\", 1), -1);
  EXPECT_EQ(FindTextFromEnd(path, "\\", 5), 3);  // "C:\a"
  EXPECT_EQ(FindTextFromEnd(path, "\\", 6), 5);  // "C:\a\"
  EXPECT_EQ(FindTextFromEnd(path, "\\", 11), 5);
  EXPECT_EQ(FindTextFromEnd(path, "\\", 1000), 5);
  // A match must lie wholly before the start position.
  EXPECT_EQ(FindTextFromEnd("abcabc", "abc", 6), 1);
  EXPECT_EQ(FindTextFromEnd("abcabc", "abc", 7), 4);
  EXPECT_EQ(FindTextFromEnd("\xB0\xA1x", "\xB0\xA1", 2), -1);
  EXPECT_EQ(FindTextFromEnd("\xB0\xA1x", "\xB0", 2), 1);
}

TEST(FindText, IgnoreCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(FindText("Hello World", "WORLD", {}, true), 7);
  EXPECT_EQ(FindText("a[b", "A{B", {}, true), -1);  // '[' and '{' are not a case pair
  EXPECT_EQ(FindText("\xC1", "\xE1", {}, true), -1);
}

TEST(SplitText, CutsAtEachSeparatorAndDropsAnEmptyRest) {
  EXPECT_THAT(SplitText("a,b,"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitText(",a"), ElementsAre("", "a"));
  EXPECT_THAT(SplitText("a,,b"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitText("a,b,,"), ElementsAre("a", "b", ""));
  EXPECT_THAT(SplitText(","), ElementsAre(""));
  EXPECT_THAT(SplitText("abc"), ElementsAre("abc"));
  EXPECT_THAT(SplitText(""), IsEmpty());
  EXPECT_THAT(SplitText("", std::string_view("")), IsEmpty());
}

TEST(SplitText, EmptySeparatorGivesTheWholeText) {
  EXPECT_THAT(SplitText("a,b", std::string_view("")), ElementsAre("a,b"));
}

TEST(SplitText, MultiByteSeparators) {
  EXPECT_THAT(SplitText("C:\\x\r\nD:\\y\r\n", std::string_view("\r\n")),
              ElementsAre("C:\\x", "D:\\y"));
  EXPECT_THAT(SplitText("a<><>b", std::string_view("<>")), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitText(kExtensionList, std::string_view("\xA1\xA2")),
              ElementsAre("jpg", "png", "tif", "bmp", "ppm", "pgm", "pcx", "pic", "sgi"));
}

TEST(SplitText, SeparatorIsNotFoundInsideADoubleByteCharacter) {
  // B0 A1 A1 A2 'x': the bytes A1 A1 straddle two characters.
  EXPECT_THAT(SplitText("\xB0\xA1\xA1\xA2x", std::string_view("\xA1\xA1")),
              ElementsAre("\xB0\xA1\xA1\xA2x"));
  // 0x81 0x2C is one character whose trail byte is ','.
  EXPECT_THAT(SplitText("a\x81,b,c"), ElementsAre("a\x81,b", "c"));
  EXPECT_THAT(SplitText("a,\xB0"), ElementsAre("a", "\xB0"));
}

TEST(SplitText, MaximumCountLimitsTheElements) {
  EXPECT_THAT(SplitText("a,b,c", {}, 0), IsEmpty());
  EXPECT_THAT(SplitText("a,b,c", {}, -1), IsEmpty());
  EXPECT_THAT(SplitText("a,b,c", {}, 1), ElementsAre("a"));
  EXPECT_THAT(SplitText("a,b,c", {}, 2), ElementsAre("a", "b"));  // remainder dropped
  EXPECT_THAT(SplitText("a,b,c", {}, 3), ElementsAre("a", "b", "c"));
  EXPECT_THAT(SplitText("a,b,c", {}, 4), ElementsAre("a", "b", "c"));
  EXPECT_THAT(SplitText("a,b", {}, 2), ElementsAre("a", "b"));
  EXPECT_THAT(SplitText("a,b,", {}, 2), ElementsAre("a", "b"));
  EXPECT_THAT(SplitText(",,,", {}, 2), ElementsAre("", ""));
}

}  // namespace
