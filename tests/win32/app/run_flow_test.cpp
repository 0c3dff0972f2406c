// The conversion of one entry of a batch or drop run through the imaging
// service with the engine behind it, on real files. The portable rules of a
// run are checked in tests/portable/app/run_plan_test.cpp.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_controller_win.h"
#include "app/run_plan.h"
#include "base/wide_text_win.h"
#include "base/win_handles_win.h"
#include "picture/imaging_service_win.h"
#include "picture/picture_win.h"
#include "test_files_win.h"

namespace {

std::string TestData(const char* relative) {
  return std::string(PC_TESTDATA_DIR) + "/" + relative;
}

class EntryConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartImagingService(); }

  // Copies a test picture into the scratch folder under name.
  RunEntry Place(const char* testData, const std::string& name) {
    return PlaceIn(Folder(), testData, name);
  }
  // The same in another folder (ending in a backslash), names in UTF-8.
  static RunEntry PlaceIn(const std::string& folder, const char* testData,
                          const std::string& name) {
    EXPECT_TRUE(CopyFileW(WideFromUtf8(TestData(testData)).c_str(),
                          WideFromUtf8(folder + name).c_str(), FALSE))
        << testData;
    return RunEntry{folder, name};
  }

  static void ExpectPictureOfSize(const std::string& path, uint32_t width, uint32_t height) {
    Picture written;
    ASSERT_TRUE(written.LoadFromFile(path.c_str())) << path;
    EXPECT_EQ(written.Width(), width);
    EXPECT_EQ(written.Height(), height);
  }

  // The scratch folder with its trailing backslash, as a run entry has it.
  std::string Folder() const { return scratch.File(""); }

  TempFolder scratch{"pc_app_run"};
};

TEST_F(EntryConversion, ImagingServiceWritesIntoTheTargetSubFolder) {
  const RunEntry entry = Place("picture/pattern.png", "cat.PNG");
  ASSERT_TRUE(ConvertRunEntry(entry, "jpg"));
  ExpectPictureOfSize(Folder() + "jpg\\cat.jpg", 64, 32);
  ASSERT_TRUE(ConvertRunEntry(entry, "tif"));
  ExpectPictureOfSize(Folder() + "tif\\cat.tif", 64, 32);
}

TEST_F(EntryConversion, PcxTheImagingServiceCannotReadGoesThroughTheEngine) {
  const RunEntry entry = Place("pcx/netpbm24.pcx", "scan.pcx");
  ASSERT_TRUE(ConvertRunEntry(entry, "png"));
  ExpectPictureOfSize(Folder() + "png\\scan.png", 37, 23);
}

TEST_F(EntryConversion, UnreadablePictureFailsAndLeavesNoOutput) {
  const std::string path = Folder() + "broken.jpg";
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char bytes[] = "\xFF\xD8\xFF\xE0 not really a JPEG";
  DWORD written = 0;
  WriteFile(file, bytes, sizeof bytes, &written, nullptr);
  CloseHandle(file);
  EXPECT_FALSE(ConvertRunEntry(RunEntry{Folder(), "broken.jpg"}, "png"));
  EXPECT_EQ(GetFileAttributesA((Folder() + "png\\broken.png").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ConvertRunEntry(RunEntry{Folder(), "missing.png"}, "png"));
}

TEST_F(EntryConversion, ATargetOutsideTheThreeConvertsNothing) {
  const RunEntry entry = Place("picture/pattern.png", "a.png");
  EXPECT_FALSE(ConvertRunEntry(entry, "gif"));
  EXPECT_EQ(GetFileAttributesA((Folder() + "gif").c_str()), INVALID_FILE_ATTRIBUTES);
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
  const std::string out = Folder() + "jpg\\";
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
  const std::string out = Folder() + "png\\";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  for (const char* name :
       {"a.png.0.part", "b.png.12.part", "a.png", "notes.part", "c.png.x.part"}) {
    std::ofstream(out + name, std::ios::binary) << "x";
  }
  const HANDLE busy =
      CreateFileA((out + "d.png.1.part").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  RemoveLeftoverOutputs(Folder() + "png");
  CloseHandle(busy);
  EXPECT_EQ(NamesIn(out),
            (std::vector<std::string>{"a.png", "c.png.x.part", "d.png.1.part", "notes.part"}));
}

// A folder and pictures whose names no single ANSI code page holds: the
// imaging service's pictures, the engine's and a failure each keep them.
TEST_F(EntryConversion, UnicodeFolderAndNamesReachTheDiskAsTheyAre) {
  const std::string folder = Folder() + "图片 😀 Ünï\\";
  ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
  const std::wstring wideFolder = scratch.WideFile(L"\x56FE\x7247 \xD83D\xDE00 \xDCn\xEF\\");
  struct Case {
    const char* testData;
    const char* name;
    const wchar_t* wideOutput;  // in the png sub-folder
    uint32_t width, height;
  };
  const Case cases[] = {
      {"picture/pattern.png", "사진.png", L"\xC0AC\xC9C4.png", 64, 32},           // imaging service
      {"pcx/netpbm24.pcx", "ｼｬｼﾝ.pcx", L"\xFF7C\xFF6C\xFF7C\xFF9D.png", 37, 23},  // engine
      {"picture/pattern.png", "mix 中文-사진-😀-é.PNG",
       L"mix \x4E2D\x6587-\xC0AC\xC9C4-\xD83D\xDE00-\xE9.png", 64, 32},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ConvertRunEntry(PlaceIn(folder, c.testData, c.name), "png")) << c.name;
    const std::wstring output = wideFolder + L"png\\" + c.wideOutput;
    EXPECT_NE(GetFileAttributesW(output.c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
    ExpectPictureOfSize(Utf8FromWide(output), c.width, c.height);
  }
  EXPECT_FALSE(ConvertRunEntry(RunEntry{folder, "깨진😀.jpg"}, "png"));

  // Leftovers of a killed writer are found and removed under such names too.
  const std::wstring leftover = wideFolder + L"png\\\xC0AC.png.3.part";
  {
    UniqueHandle file(
        CreateFileW(leftover.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
  }
  RemoveLeftoverOutputs(folder + "png");
  EXPECT_EQ(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
