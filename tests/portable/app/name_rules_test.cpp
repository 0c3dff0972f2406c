#include "app/name_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

TEST(NameRules, UnicodeNamesSplitAtTheirOwnSeparatorsOnly) {
  // Multi-byte characters right before "\\" and ".", where a walk that took
  // every byte of 0x80 or above for a two-byte character would step over them
  // (中 is three bytes, 😀 four).
  struct Case {
    const char* path;
    const char* folder;
    const char* base;
    const char* extension;
  };
  const Case cases[] = {
      {"C:\\中\\图.png", "C:\\中\\", "图.", "png"},
      {"C:\\uni\\café.JPG", "C:\\uni\\", "café.", "JPG"},
      {"D:\\사진\\사진.tif", "D:\\사진\\", "사진.", "tif"},
      {"C:\\ｼｬｼﾝ\\ｼｬｼﾝ.bmp", "C:\\ｼｬｼﾝ\\", "ｼｬｼﾝ.", "bmp"},
      {"C:\\😀\\😀.gif", "C:\\😀\\", "😀.", "gif"},
      {"C:\\a\\mix 中文-사진-😀-é.ünï.jpeg", "C:\\a\\", "mix 中文-사진-😀-é.ünï.", "jpeg"},
      {"E:\\Ünïcødé", "E:\\", "", "Ünïcødé"},
  };
  for (const Case& c : cases) {
    const std::string name = NameOf(c.path);
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FolderOf(c.path) + name, c.path) << c.path;
    EXPECT_EQ(BaseOf(name), c.base) << c.path;
    EXPECT_EQ(ExtensionOf(name), c.extension) << c.path;
  }
  EXPECT_EQ(OutputPathFor("C:\\😀\\", "png", BaseOf("😀.gif")), "C:\\😀\\png\\😀.png");
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
  // The list's separators are three-byte characters; a search may not match
  // across them ("gp" spans the end of jpg and the start of png) nor start
  // inside one (the last two bytes of 、 are 80 81).
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "gp"));
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "\x81p"));
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "\x80\x81png"));
  EXPECT_FALSE(IsSupportedExtension(kSupportedExtensionList, "pngé"));
  EXPECT_EQ(sizeof(kSupportedExtensionList) - 1, 78u + 23u * 3);  // 24 extensions
}

TEST(NameRules, OutputNamesNeverGetADoubledDot) {
  EXPECT_EQ(OutputPathFor("D:\\pics\\", "png", BaseOf("cat.bmp")), "D:\\pics\\png\\cat.png");
  EXPECT_EQ(OutputPathFor("D:\\pics\\", "tif", BaseOf("x.")), "D:\\pics\\tif\\x.tif");
}

}  // namespace
