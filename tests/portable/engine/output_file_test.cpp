#include "engine/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace engine {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("pc_output_file_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  static void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int FileCount() const {
    return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

  fs::path folder;
};

TEST_F(OutputFileTest, CommittedFileAppearsWithItsContentAndNoTemporaryRemains) {
  const std::string destination = (folder / "out.png").string();
  OutputFile output;
  ASSERT_EQ(output.Begin(destination.c_str()), 1);
  EXPECT_FALSE(fs::exists(destination)) << "nothing may appear at the destination before commit";
  WriteText(output.TempPath(), "picture");
  ASSERT_EQ(output.Commit(), 1);
  EXPECT_EQ(ReadText(destination), "picture");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, DiscardedWriteLeavesAnEarlierFileUntouched) {
  const std::string destination = (folder / "out.jpg").string();
  WriteText(destination, "earlier");
  {
    OutputFile output;
    ASSERT_EQ(output.Begin(destination.c_str()), 1);
    WriteText(output.TempPath(), "half-writ");
    // Leaving scope without Commit is the failure path of every writer.
  }
  EXPECT_EQ(ReadText(destination), "earlier");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, CommitReplacesAnEarlierFile) {
  const std::string destination = (folder / "out.tif").string();
  WriteText(destination, "earlier");
  OutputFile output;
  ASSERT_EQ(output.Begin(destination.c_str()), 1);
  WriteText(output.TempPath(), "newer");
  ASSERT_EQ(output.Commit(), 1);
  EXPECT_EQ(ReadText(destination), "newer");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, MissingFolderFailsWithoutCreatingAnything) {
  const std::string destination = (folder / "missing" / "out.png").string();
  OutputFile output;
  EXPECT_EQ(output.Begin(destination.c_str()), 0);
  EXPECT_EQ(output.TempPath(), "");
  EXPECT_EQ(output.Commit(), 0);
  EXPECT_EQ(FileCount(), 0);
}

TEST_F(OutputFileTest, TwoWritersOfOneDestinationNeverShareATemporaryFile) {
  const std::string destination = (folder / "same.png").string();
  OutputFile first;
  OutputFile second;
  ASSERT_EQ(first.Begin(destination.c_str()), 1);
  ASSERT_EQ(second.Begin(destination.c_str()), 1);
  EXPECT_NE(first.TempPath(), second.TempPath());
  WriteText(first.TempPath(), "first");
  WriteText(second.TempPath(), "second");
  ASSERT_EQ(first.Commit(), 1);
  ASSERT_EQ(second.Commit(), 1);
  EXPECT_EQ(ReadText(destination), "second");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, EmptyOrNullDestinationIsRefused) {
  OutputFile output;
  EXPECT_EQ(output.Begin(""), 0);
  EXPECT_EQ(output.Begin(nullptr), 0);
}

}  // namespace
// Every temporary name a writer makes is recognised as one, and no picture
// name is: the next run removes exactly what killed writers left behind.
TEST(OutputTempNames, TheWritersOwnNamesAreRecognisedAndPictureNamesAreNot) {
  for (int n : {0, 7, 999}) {
    const std::string name = OutputTempName("cat.png", n);
    EXPECT_TRUE(IsOutputTempName(name)) << name;
  }
  EXPECT_EQ(OutputTempName("D:\\p\\png\\cat.png", 3), "D:\\p\\png\\cat.png.3.part");
  for (const char* other : {"cat.png", "cat.part", ".part", "1.part", "cat..part", "cat.png.x.part",
                            "cat.png.1.part.png", "cat.png.1.PART2", ""}) {
    EXPECT_FALSE(IsOutputTempName(other)) << other;
  }
  EXPECT_TRUE(IsOutputTempName("a.1.part"));
}

}  // namespace engine
