// Mapped temporary storage: backing-file names, lifetime of the files, sizes,
// flushing, and creation from several threads at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "engine/mapped_file.h"
#include "private_temp_folder.h"
#include "unicode_file_names.h"

namespace engine_test {
namespace {

using engine::MakeTempFileName;
using engine::MappedBuffer;

void Touch(const fs::path& path, const std::string& content = "x") {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFileNameTest : public TempFolderTest {
 protected:
  void TearDown() override {
    // Files these tests place themselves are not the engine's to delete.
    for (const auto& name : temp.Entries()) fs::remove_all(temp.File(name));
    TempFolderTest::TearDown();
  }
};

TEST_F(TempFileNameTest, FirstNameInAnEmptyFolderIsNumberZero) {
  EXPECT_EQ(MakeTempFileName("CSWCLASS"), temp.WithSeparator() + "CSWCLASS0.tmp");
  EXPECT_EQ(MakeTempFileName("ABC", temp.PathText().c_str()), temp.WithSeparator() + "ABC0.tmp");
  // A folder that already ends in a separator gets no second one.
  EXPECT_EQ(MakeTempFileName("ABC", temp.WithSeparator().c_str()),
            temp.WithSeparator() + "ABC0.tmp");
  // The search only tests: nothing is created.
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(TempFileNameTest, NumbersWhoseNamesExistAreSkipped) {
  Touch(temp.File("CSWCLASS0.tmp"));
  Touch(temp.File("CSWCLASS1.tmp"));
  fs::create_directory(temp.File("CSWCLASS2.tmp"));  // a folder takes the name too
  Touch(temp.File("CSWCLASS4.tmp"));
  Touch(temp.File("OTHER3.tmp"));
  EXPECT_EQ(MakeTempFileName("CSWCLASS"), temp.WithSeparator() + "CSWCLASS3.tmp");
  EXPECT_EQ(MakeTempFileName("OTHER"), temp.WithSeparator() + "OTHER0.tmp");
}

TEST_F(TempFileNameTest, MissingFolderOrAFileInsteadOfAFolderGivesNoName) {
  const std::string missing = (temp.Path() / "missing").string();
  EXPECT_EQ(MakeTempFileName("CSWCLASS", missing.c_str()), "");
  Touch(temp.File("plain"));
  const std::string plainFile = temp.File("plain").string();
  EXPECT_EQ(MakeTempFileName("CSWCLASS", plainFile.c_str()), "");
  temp.PointAt(missing);
  EXPECT_EQ(MakeTempFileName("CSWCLASS"), "");
  temp.PointAt(temp.PathText());
}

TEST(PathSeparatorTest, TrailingSeparatorIsRecognised) {
  EXPECT_TRUE(engine::EndsWithPathSeparator(std::string("abc") + kNativeSeparator));
  EXPECT_FALSE(engine::EndsWithPathSeparator("abc"));
  EXPECT_FALSE(engine::EndsWithPathSeparator(""));
}

// Paths are UTF-8 on Windows, where no byte of a longer character is the
// separator: what ends a name is the separator alone, whatever the ANSI code
// page would make of the bytes before it (in GBK, the last byte of "ｼ" and
// the separator read as one character).
TEST(PathSeparatorTest, UnicodeFolderNamesEndInTheirOwnSeparator) {
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    const std::string folder = std::string("folder") + kNativeSeparator + name.utf8;
    EXPECT_FALSE(engine::EndsWithPathSeparator(folder));
    EXPECT_TRUE(engine::EndsWithPathSeparator(folder + kNativeSeparator));
  }
}

class MappedBufferTest : public TempFolderTest {};

TEST_F(MappedBufferTest, NewBufferIsZeroFilledAndBackedByAFileOfItsSize) {
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(10000, "CSWCLASS"), 1);
  EXPECT_EQ(buffer.Size(), 10000);
  EXPECT_EQ(buffer.Path(), temp.WithSeparator() + "CSWCLASS0.tmp");
  ASSERT_TRUE(Exists("CSWCLASS0.tmp"));
  EXPECT_EQ(fs::file_size(temp.File("CSWCLASS0.tmp")), 10000u);
  ASSERT_NE(buffer.Data(), nullptr);
  const std::vector<std::uint8_t> zeros(10000, 0);
  EXPECT_EQ(std::memcmp(buffer.Data(), zeros.data(), zeros.size()), 0);
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(buffer.Path().c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
  EXPECT_EQ(buffer.Release(true), 1);
  EXPECT_FALSE(Exists("CSWCLASS0.tmp"));
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Size(), 0);
}

TEST_F(MappedBufferTest, WritesReachTheBackingFileAfterFlush) {
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(20000, "CSWCLASS"), 1);
  for (int i = 0; i < 20000; ++i) buffer.Data()[i] = static_cast<std::uint8_t>(i * 7 + 3);
  EXPECT_EQ(buffer.Flush(), 1);
  EXPECT_EQ(buffer.Flush(buffer.Data() + 5000, 100), 1);
  EXPECT_EQ(buffer.Flush(buffer.Data() + 19999, 0), 1);
  const std::string onDisk = ReadWhole(buffer.Path());
  ASSERT_EQ(onDisk.size(), 20000u);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(static_cast<std::uint8_t>(onDisk[i]), static_cast<std::uint8_t>(i * 7 + 3)) << i;
  }
  // Addresses outside the view are refused.
  EXPECT_EQ(buffer.Flush(buffer.Data() + 20000, 1), 0);
  EXPECT_EQ(buffer.Flush(buffer.Data() - 1, 1), 0);
  EXPECT_EQ(buffer.Flush(nullptr, -1), 0);
  MappedBuffer empty;
  EXPECT_EQ(empty.Flush(), 0);
}

TEST_F(MappedBufferTest, EveryEndOfContentDeletesTheBackingFile) {
  {
    MappedBuffer scoped;
    ASSERT_EQ(scoped.Create(16, "CSWCLASS"), 1);
    EXPECT_TRUE(Exists("CSWCLASS0.tmp"));
  }
  EXPECT_FALSE(Exists("CSWCLASS0.tmp")) << "the destructor deletes";

  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(16, "CSWCLASS"), 1);
  ASSERT_EQ(buffer.Create(32, "CSWCLASS"), 1);
  EXPECT_EQ(temp.Entries(), std::vector<std::string>{"CSWCLASS0.tmp"})
      << "a new Create deletes the previous file before claiming a name";
  EXPECT_EQ(buffer.Create(0, "CSWCLASS"), 0);
  EXPECT_TRUE(temp.Entries().empty()) << "a failed Create deletes the previous file too";
  EXPECT_FALSE(buffer.IsOpen());

  MappedBuffer moved;
  ASSERT_EQ(buffer.Create(16, "CSWCLASS"), 1);
  moved = std::move(buffer);
  EXPECT_FALSE(buffer.IsOpen());
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_TRUE(Exists("CSWCLASS0.tmp")) << "moving hands the file over";
  MappedBuffer other;
  ASSERT_EQ(other.Create(16, "CSWCLASS"), 1);
  EXPECT_TRUE(Exists("CSWCLASS1.tmp"));
  other = std::move(moved);
  EXPECT_FALSE(Exists("CSWCLASS1.tmp")) << "the replaced content's file is deleted";
  EXPECT_TRUE(Exists("CSWCLASS0.tmp"));
  other.Release(true);
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(MappedBufferTest, ReleaseWithoutDeletionKeepsTheFile) {
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(64, "KEEP"), 1);
  buffer.Data()[0] = 'K';
  const std::string kept = buffer.Path();
  EXPECT_EQ(buffer.Release(false), 1);
  EXPECT_EQ(buffer.Path(), "");
  EXPECT_EQ(ReadWhole(kept).substr(0, 1), "K");
  EXPECT_TRUE(engine::RemoveFile(kept.c_str()));
  EXPECT_FALSE(fs::exists(kept));
}

TEST_F(MappedBufferTest, InvalidRequestsFailWithoutFiles) {
  MappedBuffer buffer;
  EXPECT_EQ(buffer.Create(0, "CSWCLASS"), 0);
  EXPECT_EQ(buffer.Create(-5, "CSWCLASS"), 0);
  EXPECT_EQ(buffer.Create(16, ""), 0);
  EXPECT_EQ(buffer.Create(16, nullptr), 0);
  EXPECT_EQ(buffer.Create(engine::kMaxMappedBytes + 1, "CSWCLASS"), 0);
  EXPECT_EQ(buffer.Create(INT64_MAX, "CSWCLASS"), 0);
  EXPECT_FALSE(buffer.IsOpen());
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(MappedBufferTest, MissingOrUnusableTemporaryFolderMakesCreateFail) {
  MappedBuffer buffer;
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(buffer.Create(16, "CSWCLASS"), 0);
  Touch(temp.File("plain"));
  temp.PointAt(temp.File("plain").string());
  EXPECT_EQ(buffer.Create(16, "CSWCLASS"), 0);
  temp.PointAt(temp.PathText());
  EXPECT_EQ(temp.Entries(), std::vector<std::string>{"plain"});
  fs::remove(temp.File("plain"));
}

TEST_F(MappedBufferTest, ExplicitPathReplacesAnExistingFileWithZeros) {
  const std::string path = temp.File("given.bin").string();
  Touch(path, std::string(300, 'z'));
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(100, "CSWCLASS", path.c_str()), 1);
  EXPECT_EQ(buffer.Path(), path);
  EXPECT_EQ(fs::file_size(path), 100u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(buffer.Data()[i], 0) << i;
  buffer.Release(true);
  EXPECT_FALSE(fs::exists(path));

  const std::string unreachable = (temp.Path() / "missing" / "x.bin").string();
  EXPECT_EQ(buffer.Create(100, "CSWCLASS", unreachable.c_str()), 0);
}

TEST_F(MappedBufferTest, AnotherCreatorsFileIsNeitherReusedNorDeleted) {
  Touch(temp.File("CSWCLASS0.tmp"), "theirs");
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Create(8, "CSWCLASS"), 1);
  EXPECT_EQ(buffer.Path(), temp.WithSeparator() + "CSWCLASS1.tmp");
  buffer.Release(true);
  EXPECT_EQ(ReadWhole(temp.File("CSWCLASS0.tmp").string()), "theirs");
  fs::remove(temp.File("CSWCLASS0.tmp"));
}

#ifndef _WIN32
TEST_F(MappedBufferTest, DiskFullWhileSizingTheFileFailsAndDeletesIt) {
  // A file-size limit makes reserving the blocks fail after the file exists.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction ignore = {};
  struct sigaction previous = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  MappedBuffer buffer;
  const int created = buffer.Create(1 << 20, "CSWCLASS");

  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(created, 0);
  EXPECT_FALSE(buffer.IsOpen());
  EXPECT_TRUE(temp.Entries().empty());
}
#endif

TEST_F(MappedBufferTest, ViewTooLargeForTheProcessFailsAndDeletesTheFile) {
  if (sizeof(void*) != 4) {
    GTEST_SKIP() << "only a 32-bit process is sure to have no room for this view";
  }
  MappedBuffer buffer;
  EXPECT_EQ(buffer.Create(engine::kMaxMappedBytes, "CSWCLASS"), 0);
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(MappedBufferTest, BuffersCreatedOnSeveralThreadsNeverShareAFile) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 40;
  std::vector<std::vector<MappedBuffer>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &kept] {
      std::vector<MappedBuffer>& mine = kept[t];
      for (int i = 0; i < kPerThread; ++i) {
        MappedBuffer buffer;
        if (!buffer.Create(4096, "CSWCLASS")) continue;
        std::memset(buffer.Data(), t * kPerThread + i + 1, 4096);
        mine.push_back(std::move(buffer));
        // Releasing some frees low numbers for the others to race for.
        if (i % 3 == 2) mine.erase(mine.begin());
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::set<std::string> paths;
  std::size_t alive = 0;
  for (int t = 0; t < kThreads; ++t) {
    const int expectedCount = kPerThread - kPerThread / 3;
    EXPECT_EQ(static_cast<int>(kept[t].size()), expectedCount) << "every Create succeeded";
    for (std::size_t k = 0; k < kept[t].size(); ++k) {
      const MappedBuffer& buffer = kept[t][k];
      ++alive;
      paths.insert(buffer.Path());
      // Buffer k of this thread was number i = k + (kPerThread - size).
      const int i = static_cast<int>(k) + kPerThread - static_cast<int>(kept[t].size());
      const auto mark = static_cast<std::uint8_t>(t * kPerThread + i + 1);
      EXPECT_EQ(buffer.Data()[0], mark);
      EXPECT_EQ(buffer.Data()[4095], mark);
    }
  }
  EXPECT_EQ(paths.size(), alive);
  EXPECT_EQ(temp.Entries().size(), alive);
  kept.clear();
  EXPECT_TRUE(temp.Entries().empty());
}

}  // namespace
}  // namespace engine_test
