// The imaging service start and the UTF-8 to UTF-16 conversion of names.

#include <gtest/gtest.h>

#include <cstring>

#include "picture/imaging_service_win.h"

namespace {

TEST(ImagingServiceTest, StartsAndMayBeStartedAgain) {
  EXPECT_TRUE(StartImagingService());
  EXPECT_TRUE(StartImagingService());
}

TEST(WideTextTest, Utf8TextBecomesUtf16WithItsTerminator) {
  // Chinese, Korean, an emoji outside the Basic Multilingual Plane (a
  // surrogate pair), then ASCII: the same whatever the ANSI code page.
  const ByteBuffer wide = ToWideText("中文사진😀abc");
  const wchar_t expected[] =
      L"\x4E2D\x6587\xC0AC\xC9C4\xD83D\xDE00"
      L"abc";
  ASSERT_EQ(wide.Size(), sizeof expected);  // 9 code units and the terminator
  EXPECT_EQ(std::memcmp(wide.Data(), expected, sizeof expected), 0);
  EXPECT_STREQ(WideOf(wide), expected);
}

TEST(WideTextTest, EmptyOrMissingTextGivesTheTerminatorAlone) {
  for (const char* text : {"", static_cast<const char*>(nullptr)}) {
    const ByteBuffer wide = ToWideText(text);
    ASSERT_EQ(wide.Size(), 2u);
    EXPECT_EQ(wide.Data()[0], 0);
    EXPECT_EQ(wide.Data()[1], 0);
  }
}

TEST(WideTextTest, PathsOfManyCharactersConvertWhole) {
  std::string longPath = "C:\\";
  for (int i = 0; i < 200; ++i) longPath += "图";
  longPath += "\\x.png";
  const ByteBuffer wide = ToWideText(longPath.c_str());
  ASSERT_EQ(wide.Size(), (3 + 200 + 6 + 1) * 2u);
  const wchar_t* text = WideOf(wide);
  EXPECT_EQ(text[3], L'\x56FE');
  EXPECT_EQ(text[202], L'\x56FE');
  EXPECT_EQ(std::wstring(text + 203), L"\\x.png");
}

}  // namespace
