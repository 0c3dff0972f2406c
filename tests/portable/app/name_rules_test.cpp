#include "app/name_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// In GBK most characters have no backslash byte (图 = CD BC, 表 = B1 ED);
// the trap is a character whose trail byte is 0x5C ("\"), such as 乗 = 81 5C,
// 抃 = 92 5C or 昞 = 95 5C, the one used here.
constexpr char kTrailBackslashChar[] = "\x95\x5C";

TEST(NameRules, WorkedExampleSplitsAndFormsTheOutputPath) {
  const std::string path = "D:\\pics\\cat.PNG";
  EXPECT_EQ(FolderOf(path), "D:\\pics\\");
  EXPECT_EQ(NameOf(path), "cat.PNG");
  EXPECT_EQ(BaseOf(NameOf(path)), "cat.");
  EXPECT_EQ(ExtensionOf(NameOf(path)), "PNG");
  EXPECT_TRUE(IsSupportedExtension(kSupportedExtensionList, "PNG"));
  EXPECT_EQ(OutputFolderFor(FolderOf(path), "jpg"), "D:\\pics\\jpg");
  EXPECT_EQ(OutputPathFor(FolderOf(path), "jpg", BaseOf(NameOf(path))), "D:\\pics\\jpg\\cat.jpg");
}

TEST(NameRules, MissingSeparatorsGiveEmptyOrWholeTexts) {
  EXPECT_EQ(FolderOf("cat.png"), "");
  EXPECT_EQ(NameOf("cat.png"), "cat.png");
  EXPECT_EQ(NameOf("D:\\pics\\"), "");
  EXPECT_EQ(FolderOf("D:\\pics\\"), "D:\\pics\\");
  EXPECT_EQ(BaseOf("README"), "");
  EXPECT_EQ(ExtensionOf("README"), "README");
  EXPECT_EQ(FolderOf(""), "");
  EXPECT_EQ(NameOf(""), "");
}

TEST(NameRules, TheLastDotAndTheLastBackslashCount) {
  EXPECT_EQ(BaseOf("a.b.jpeg"), "a.b.");
  EXPECT_EQ(ExtensionOf("a.b.jpeg"), "jpeg");
  EXPECT_EQ(BaseOf("x."), "x.");
  EXPECT_EQ(ExtensionOf("x."), "");
  EXPECT_EQ(FolderOf("C:\\a.d\\b"), "C:\\a.d\\");
  EXPECT_EQ(NameOf("C:\\a.d\\b"), "b");
}

TEST(NameRules, ATrailByteThatLooksLikeABackslashIsNotAFolderSeparator) {
  // C:\<char ending in 0x5C>\x.png: the only real separators are at 3 and 6.
  const std::string path = std::string("C:\\") + kTrailBackslashChar + "\\x.png";
  EXPECT_EQ(FolderOf(path), std::string("C:\\") + kTrailBackslashChar + "\\");
  EXPECT_EQ(NameOf(path), "x.png");
  // A name ending in such a character has no separator after the folder.
  const std::string name = std::string("C:\\p\\a") + kTrailBackslashChar;
  EXPECT_EQ(NameOf(name), std::string("a") + kTrailBackslashChar);
}

TEST(NameRules, SupportedExtensionIsACaseInsensitiveSubstringTest) {
  for (const char* ext : {"jpg",  "PNG",  "Tif",  "bmp",  "ppm", "pgm", "pcx", "pic", "sgi", "jpeg",
                          "JPE",  "jfif", "TIFF", "dib",  "pbm", "pnm", "rgb", "bw",  "Gif", "pcd",
                          "WebP", "heic", "HEIF", "avif", "jp",  "pg",  "g",   "",    "JPG"}) {
    EXPECT_TRUE(IsSupportedExtension(kSupportedExtensionList, ext)) << ext;
  }
  for (const char* ext : {"jxl", "heics", "bmpx", "txt", "tiffs", "png2", "jpgjpeg", "pcdwebp"}) {
    EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, ext)) << ext;
  }
}

TEST(NameRules, TheSeparatorBetweenExtensionsNeverJoinsTwoExtensions) {
  // The list's separators are double-byte characters; a search may not match
  // across them ("gp" spans the end of jpg and the start of png).
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "gp"));
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "\xA2p"));
  EXPECT_EQ(sizeof(kSupportedExtensionList) - 1, 78u + 23u * 2);  // 24 extensions
}

TEST(NameRules, OutputNamesNeverGetADoubledDot) {
  EXPECT_EQ(OutputPathFor("D:\\pics\\", "png", BaseOf("cat.bmp")), "D:\\pics\\png\\cat.png");
  EXPECT_EQ(OutputPathFor("D:\\pics\\", "tif", BaseOf("x.")), "D:\\pics\\tif\\x.tif");
}

}  // namespace
