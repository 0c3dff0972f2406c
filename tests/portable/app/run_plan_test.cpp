// The rules of a batch or drop run that need no window: which dropped paths
// become entries, which names a run takes, and the summary text.

#include "app/run_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/name_rules.h"

namespace {

TEST(DroppedPaths, EachFileKeepsItsOwnFolderAndOnlyPictureNamesAreTaken) {
  const std::vector<RunEntry> entries = EntriesFromDroppedPaths(
      kSupportedExtensionList,
      "C:\\a\\one.png\r\nD:\\b\\TWO.TIF\r\nC:\\a\\readme.txt\r\nC:\\a\\png\r\n"
      "C:\\a\\x.png\r\nC:\\a\\c.jpeg\r\n");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].folder, "C:\\a\\");
  EXPECT_EQ(entries[0].name, "one.png");
  EXPECT_EQ(entries[1].folder, "D:\\b\\");
  EXPECT_EQ(entries[1].SourcePath(), "D:\\b\\TWO.TIF");
  // A folder named like a picture is taken; its conversion fails later.
  EXPECT_EQ(entries[2].name, "x.png");
  EXPECT_EQ(entries[3].name, "c.jpeg");
}

TEST(DroppedPaths, OneFileWithoutSeparatorAndEmptyTextAndUnicodeFolders) {
  EXPECT_TRUE(EntriesFromDroppedPaths(kSupportedExtensionList, "").empty());
  const std::vector<RunEntry> one =
      EntriesFromDroppedPaths(kSupportedExtensionList, "C:\\p\\a.bmp");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].folder, "C:\\p\\");
  // Three- and four-byte characters right before the line breaks.
  const std::vector<RunEntry> unicode = EntriesFromDroppedPaths(
      kSupportedExtensionList, "C:\\中\\图.png\r\nC:\\사진\\😀.jpg\r\nC:\\é\\中\r\n");
  ASSERT_EQ(unicode.size(), 2u);
  EXPECT_EQ(unicode[0].folder, "C:\\中\\");
  EXPECT_EQ(unicode[0].name, "图.png");
  EXPECT_EQ(unicode[1].SourcePath(), "C:\\사진\\😀.jpg");
}

TEST(ListedNames, NamesWithoutDotAreSkippedAndExtensionsAreSubstrings) {
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "png"));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, ""));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "a.jxl"));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "a.tiff2"));
  EXPECT_TRUE(IsListedPictureName(kSupportedExtensionList, "a.JPEG"));
  EXPECT_TRUE(IsListedPictureName(kSupportedExtensionList, "A.PNG"));
  EXPECT_TRUE(IsListedPictureName(kSupportedExtensionList, ".hidden.tif"));
  EXPECT_TRUE(IsListedPictureName(kSupportedExtensionList, "x."));
}

TEST(RunSummary, CountAndSecondsAsTheRuntimeWritesThem) {
  EXPECT_EQ(RunSummaryText(3, 2.5, {}), std::string("转换3张图片，用时2.5秒"));
  EXPECT_EQ(RunSummaryText(12, 3.0, {}), std::string("转换12张图片，用时3秒"));
}

TEST(RunSummary, FailedPicturesAreCountedAndTheFirstTenNamed) {
  EXPECT_EQ(RunSummaryText(1, 0.25, {"C:\\p\\bad.jpg"}),
            std::string("转换1张图片，用时0.25秒\r\n1张图片转换失败：\r\nC:\\p\\bad.jpg"));
  std::vector<std::string> failed;
  for (int i = 1; i <= 12; ++i) failed.push_back("f" + std::to_string(i) + ".png");
  const std::string text = RunSummaryText(0, 1.0, failed);
  EXPECT_NE(text.find("12张图片转换失败："), std::string::npos);
  EXPECT_NE(text.find("\r\nf10.png"), std::string::npos);
  EXPECT_EQ(text.find("f11.png"), std::string::npos);
  EXPECT_NE(text.find("\r\n另有2张未列出"), std::string::npos);
}

}  // namespace
