// The pieces of a batch or drop run that need no window: which dropped paths
// become entries, the summary text, and the conversion of one entry through
// the imaging service with the engine behind it, on real files.

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_controller_win.h"
#include "app/name_rules.h"
#include "app/run_plan.h"
#include "picture/imaging_service_win.h"
#include "picture/picture_win.h"

namespace {

TEST(DroppedPaths, EachFileKeepsItsOwnFolderAndOnlyPictureNamesAreTaken) {
  const std::vector<RunEntry> entries = EntriesFromDroppedPaths(
      kSupportedExtensionList,
      "C:\\a\\one.png\r\nD:\\b\\TWO.TIF\r\nC:\\a\\readme.txt\r\nC:\\a\\png\r\n"
      "C:\\a\\x.png\r\nC:\\a\\c.jpeg\r\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].folder, "C:\\a\\");
  EXPECT_EQ(entries[0].name, "one.png");
  EXPECT_EQ(entries[1].folder, "D:\\b\\");
  EXPECT_EQ(entries[1].SourcePath(), "D:\\b\\TWO.TIF");
  // A folder named like a picture is taken; its conversion fails later.
  EXPECT_EQ(entries[2].name, "x.png");
}

TEST(DroppedPaths, OneFileWithoutSeparatorAndEmptyTextAndDoubleByteFolders) {
  EXPECT_TRUE(EntriesFromDroppedPaths(kSupportedExtensionList, "").empty());
  const std::vector<RunEntry> one =
      EntriesFromDroppedPaths(kSupportedExtensionList, "C:\\p\\a.bmp");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].folder, "C:\\p\\");
  // GBK 0x95 0x5C: a trail byte that looks like a backslash must not split.
  const std::vector<RunEntry> gbk =
      EntriesFromDroppedPaths(kSupportedExtensionList, "C:\\\x95\x5C\\b.png\r\n");
  ASSERT_EQ(gbk.size(), 1u);
  EXPECT_EQ(gbk[0].folder, "C:\\\x95\x5C\\");
  EXPECT_EQ(gbk[0].name, "b.png");
}

TEST(ListedNames, NamesWithoutDotAreSkippedAndExtensionsAreSubstrings) {
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "png"));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, ""));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "a.jpeg"));
  EXPECT_FALSE(IsListedPictureName(kSupportedExtensionList, "a.gif"));
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

// A scratch folder under the system temporary folder, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "pc_app_run_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    const std::string from = path_.substr(0, path_.size() - 1) + std::string(2, '\0');
    SHFILEOPSTRUCTA removal{};
    removal.wFunc = FO_DELETE;
    removal.pFrom = from.c_str();
    removal.fFlags = FOF_NO_UI;
    SHFileOperationA(&removal);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string TestData(const char* relative) {
  return std::string(PC_TESTDATA_DIR) + "/" + relative;
}

class EntryConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartImagingService(); }

  // Copies a test picture into the scratch folder under name.
  RunEntry Place(const char* testData, const std::string& name) {
    EXPECT_TRUE(CopyFileA(TestData(testData).c_str(), (scratch.Path() + name).c_str(), FALSE))
        << testData;
    return RunEntry{scratch.Path(), name};
  }

  static void ExpectPictureOfSize(const std::string& path, uint32_t width, uint32_t height) {
    Picture written;
    ASSERT_TRUE(written.LoadFromFile(path.c_str())) << path;
    EXPECT_EQ(written.Width(), width);
    EXPECT_EQ(written.Height(), height);
  }

  ScratchFolder scratch;
};

TEST_F(EntryConversion, ImagingServiceWritesIntoTheTargetSubFolder) {
  const RunEntry entry = Place("picture/pattern.png", "cat.PNG");
  ASSERT_TRUE(ConvertRunEntry(entry, "jpg"));
  ExpectPictureOfSize(scratch.Path() + "jpg\\cat.jpg", 64, 32);
  ASSERT_TRUE(ConvertRunEntry(entry, "tif"));
  ExpectPictureOfSize(scratch.Path() + "tif\\cat.tif", 64, 32);
}

TEST_F(EntryConversion, PcxTheImagingServiceCannotReadGoesThroughTheEngine) {
  const RunEntry entry = Place("pcx/netpbm24.pcx", "scan.pcx");
  ASSERT_TRUE(ConvertRunEntry(entry, "png"));
  ExpectPictureOfSize(scratch.Path() + "png\\scan.png", 37, 23);
}

TEST_F(EntryConversion, UnreadablePictureFailsAndLeavesNoOutput) {
  const std::string path = scratch.Path() + "broken.jpg";
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char bytes[] = "\xFF\xD8\xFF\xE0 not really a JPEG";
  DWORD written = 0;
  WriteFile(file, bytes, sizeof bytes, &written, nullptr);
  CloseHandle(file);
  EXPECT_FALSE(ConvertRunEntry(RunEntry{scratch.Path(), "broken.jpg"}, "png"));
  EXPECT_EQ(GetFileAttributesA((scratch.Path() + "png\\broken.png").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ConvertRunEntry(RunEntry{scratch.Path(), "missing.png"}, "png"));
}

TEST_F(EntryConversion, ATargetOutsideTheThreeConvertsNothing) {
  const RunEntry entry = Place("picture/pattern.png", "a.png");
  EXPECT_FALSE(ConvertRunEntry(entry, "gif"));
  EXPECT_EQ(GetFileAttributesA((scratch.Path() + "gif").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Names in folder (without "." and ".."), sorted.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A save that cannot end in the output's name leaves no temporary file and
// whatever was there before: a folder in the output's place, and an earlier
// output that another program holds open, so it cannot be replaced.
TEST_F(EntryConversion, FailedSaveLeavesNoTemporaryFileAndTheEarlierOutputAsItWas) {
  const RunEntry entry = Place("picture/pattern.png", "cat.png");
  const std::string out = scratch.Path() + "jpg\\";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));

  ASSERT_TRUE(CreateDirectoryA((out + "cat.jpg").c_str(), nullptr));
  EXPECT_FALSE(ConvertRunEntry(entry, "jpg"));
  EXPECT_EQ(NamesIn(out), std::vector<std::string>{"cat.jpg"});
  RemoveDirectoryA((out + "cat.jpg").c_str());

  const std::string earlier = "an earlier output, kept byte for byte";
  std::ofstream(out + "cat.jpg", std::ios::binary) << earlier;
  const HANDLE viewer = CreateFileA((out + "cat.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ConvertRunEntry(entry, "jpg"));
  CloseHandle(viewer);
  EXPECT_EQ(NamesIn(out), std::vector<std::string>{"cat.jpg"});
  EXPECT_EQ(ReadFileBytes(out + "cat.jpg"), earlier);

  // Once it may be replaced, the new picture takes its place in one step.
  ASSERT_TRUE(ConvertRunEntry(entry, "jpg"));
  EXPECT_EQ(NamesIn(out), std::vector<std::string>{"cat.jpg"});
  ExpectPictureOfSize(out + "cat.jpg", 64, 32);
}

// What a killed writer leaves behind goes; pictures, other files and the
// temporary file of a writer still at work stay.
TEST_F(EntryConversion, LeftoverTemporaryFilesAreRemovedAndEverythingElseStays) {
  const std::string out = scratch.Path() + "png\\";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  for (const char* name : {"a.png.0.part", "b.png.12.part", "a.png", "notes.part", "c.png.x.part"}) {
    std::ofstream(out + name, std::ios::binary) << "x";
  }
  const HANDLE busy = CreateFileA((out + "d.png.1.part").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  RemoveLeftoverOutputs(scratch.Path() + "png");
  CloseHandle(busy);
  EXPECT_EQ(NamesIn(out),
            (std::vector<std::string>{"a.png", "c.png.x.part", "d.png.1.part", "notes.part"}));
}

}  // namespace
