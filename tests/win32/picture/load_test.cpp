// Loading pictures written by other programs, from files and from memory,
// and what a failed load leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "picture/picture_win.h"
#include "picture_test_support.h"
#include "platform_call_watch.h"
#include "unicode_file_names.h"

using namespace picture_test;

namespace {

struct SourceFile {
  const char* name;
  bool lossless;
};

const SourceFile kSources[] = {
    {"pattern.png", true}, {"pattern.bmp", true},  {"pattern.tif", true},
    {"pattern.gif", true}, {"pattern.jpg", false},
};

// The JPEG was written at quality 95 without chroma subsampling.
void ExpectPatternPixels(const Pixels& pixels, bool lossless, const char* name) {
  const Pixels expected = ExpectedPattern();
  ASSERT_EQ(pixels.width, expected.width) << name;
  ASSERT_EQ(pixels.height, expected.height) << name;
  if (lossless) {
    EXPECT_EQ(MaxChannelDifference(pixels, expected), 0) << name;
  } else {
    EXPECT_LE(MaxDifferenceInsideBlocks(pixels, expected, 2), 12) << name;
    EXPECT_LE(MeanChannelDifference(pixels, expected), 4.0) << name;
  }
}

void ExpectEmpty(Picture& picture, const char* what) {
  EXPECT_EQ(picture.Handle(), nullptr) << what;
  EXPECT_EQ(picture.Width(), 0u) << what;
  EXPECT_EQ(picture.Height(), 0u) << what;
}

class PictureLoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureImagingService(); }
};

TEST_F(PictureLoadTest, FilesWrittenByOtherProgramsLoadWithTheirPixels) {
  for (const SourceFile& source : kSources) {
    Picture picture;
    ASSERT_TRUE(picture.LoadFromFile(TestPicturePath(source.name).c_str())) << source.name;
    EXPECT_NE(picture.Handle(), nullptr);
    EXPECT_EQ(picture.Width(), 64u) << source.name;
    EXPECT_EQ(picture.Height(), 32u) << source.name;
    ExpectPatternPixels(PixelsOf(picture.Handle()), source.lossless, source.name);
  }
}

TEST_F(PictureLoadTest, BytesOfTheSameFilesLoadFromMemoryAndOutliveTheCallersBuffer) {
  for (const SourceFile& source : kSources) {
    Picture picture;
    {
      std::vector<uint8_t> bytes = ReadFileBytes(TestPicturePath(source.name));
      ASSERT_GE(bytes.size(), 5u) << source.name;
      ASSERT_TRUE(picture.LoadFromMemory(bytes.data(), bytes.size())) << source.name;
      // The picture keeps its own copy: scribble over and drop the caller's.
      std::fill(bytes.begin(), bytes.end(), 0xAB);
    }
    EXPECT_EQ(picture.Width(), 64u) << source.name;
    EXPECT_EQ(picture.Height(), 32u) << source.name;
    ExpectPatternPixels(PixelsOf(picture.Handle()), source.lossless, source.name);
  }
}

TEST_F(PictureLoadTest, EveryFailedLoadLeavesThePictureEmpty) {
  const std::vector<uint8_t> png = ReadFileBytes(TestPicturePath("pattern.png"));
  const std::vector<uint8_t> truncatedPng(png.begin(), png.begin() + png.size() / 2);
  const uint8_t fourBytes[4] = {0x89, 'P', 'N', 'G'};
  const char fiveBytes[] = "hello";

  struct Failure {
    const char* what;
    bool (*load)(Picture&, const void* context);
    const void* context;
  };
  const Failure failures[] = {
      {"empty path", [](Picture& p, const void*) { return p.LoadFromFile(""); }, nullptr},
      {"null path", [](Picture& p, const void*) { return p.LoadFromFile(nullptr); }, nullptr},
      {"missing file",
       [](Picture& p, const void*) {
         return p.LoadFromFile(TestPicturePath("no_such_picture.png").c_str());
       },
       nullptr},
      {"file in a format GDI+ does not read (PPM)",
       [](Picture& p, const void*) {
         return p.LoadFromFile(TestPicturePath("pattern.ppm").c_str());
       },
       nullptr},
      {"4-byte buffer", [](Picture& p, const void* c) { return p.LoadFromMemory(c, 4); },
       fourBytes},
      {"5-byte non-picture", [](Picture& p, const void* c) { return p.LoadFromMemory(c, 5); },
       fiveBytes},
      {"truncated PNG",
       [](Picture& p, const void* c) {
         const auto* bytes = static_cast<const std::vector<uint8_t>*>(c);
         return p.LoadFromMemory(bytes->data(), bytes->size());
       },
       &truncatedPng},
  };
  for (const Failure& failure : failures) {
    Picture picture;
    ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.png").c_str()));
    ASSERT_EQ(picture.Width(), 64u);
    EXPECT_FALSE(failure.load(picture, failure.context)) << failure.what;
    ExpectEmpty(picture, failure.what);
  }
}

TEST_F(PictureLoadTest, BufferShorterThanFiveBytesIsRefusedWithoutAllocating) {
  const uint8_t fourBytes[4] = {'B', 'M', 0, 0};
  Picture picture;
  PlatformCallWatch watch;
  EXPECT_FALSE(picture.LoadFromMemory(fourBytes, sizeof fourBytes));
  EXPECT_FALSE(picture.LoadFromMemory(fourBytes, 0));
  EXPECT_TRUE(watch.Calls().blocksAllocated.empty());
  EXPECT_TRUE(watch.Calls().streamsOpened.empty());
}

TEST_F(PictureLoadTest, NonPictureBytesKeepBlockAndStreamUntilTheNextDispose) {
  const char fiveBytes[] = "hello";
  Picture picture;
  PlatformCallWatch watch;
  EXPECT_FALSE(picture.LoadFromMemory(fiveBytes, 5));
  ASSERT_EQ(watch.Calls().blocksAllocated.size(), 1u);
  ASSERT_EQ(watch.Calls().streamsOpened.size(), 1u);
  EXPECT_TRUE(watch.Calls().blocksFreed.empty());

  picture.Dispose();
  ASSERT_EQ(watch.Calls().blocksFreed.size(), 1u);
  EXPECT_EQ(watch.Calls().blocksFreed[0], watch.Calls().blocksAllocated[0]);
  EXPECT_EQ(watch.ReleaseKeptStream(watch.Calls().streamsOpened[0]), 0u)
      << "the picture still holds the stream";

  picture.Dispose();
  EXPECT_EQ(watch.Calls().blocksFreed.size(), 1u) << "a second Dispose freed again";
}

TEST_F(PictureLoadTest, NonPictureBytesAreReleasedByDestructionToo) {
  const char fiveBytes[] = "hello";
  PlatformCallWatch watch;
  {
    Picture picture;
    EXPECT_FALSE(picture.LoadFromMemory(fiveBytes, 5));
  }
  ASSERT_EQ(watch.Calls().blocksFreed.size(), 1u);
  EXPECT_EQ(watch.Calls().blocksFreed[0], watch.Calls().blocksAllocated[0]);
  EXPECT_EQ(watch.ReleaseKeptStream(watch.Calls().streamsOpened[0]), 0u);
}

TEST_F(PictureLoadTest, PictureFromMemoryReleasesImageBeforeItsStreamAndBlock) {
  const std::vector<uint8_t> bytes = ReadFileBytes(TestPicturePath("pattern.png"));
  Picture picture;
  PlatformCallWatch watch;
  ASSERT_TRUE(picture.LoadFromMemory(bytes.data(), bytes.size()));
  Gdiplus::GpImage* const image = picture.Handle();
  EXPECT_TRUE(watch.Calls().blocksFreed.empty());

  picture.Dispose();
  EXPECT_EQ(picture.Handle(), nullptr);
  ASSERT_EQ(watch.Calls().imagesDisposed.size(), 1u);
  EXPECT_EQ(watch.Calls().imagesDisposed[0], image);
  ASSERT_EQ(watch.Calls().blocksFreed.size(), 1u);
  EXPECT_EQ(watch.Calls().blocksFreed[0], watch.Calls().blocksAllocated[0]);
  EXPECT_EQ(watch.Calls().releases, (std::vector<std::string>{"image", "block"}));
  EXPECT_EQ(watch.ReleaseKeptStream(watch.Calls().streamsOpened[0]), 0u);
}

TEST_F(PictureLoadTest, LoadingAgainReleasesThePreviousPicture) {
  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.png").c_str()));
  Gdiplus::GpImage* const first = picture.Handle();
  PlatformCallWatch watch;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("texture.png").c_str()));
  ASSERT_EQ(watch.Calls().imagesDisposed.size(), 1u);
  EXPECT_EQ(watch.Calls().imagesDisposed[0], first);
  EXPECT_EQ(picture.Width(), 96u);
  EXPECT_EQ(picture.Height(), 64u);
}

TEST_F(PictureLoadTest, DisposeIsHarmlessOnANewPictureAndWhenRepeated) {
  PlatformCallWatch watch;
  Picture picture;
  picture.Dispose();
  EXPECT_TRUE(watch.Calls().imagesDisposed.empty());
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.bmp").c_str()));
  picture.Dispose();
  picture.Dispose();
  EXPECT_EQ(watch.Calls().imagesDisposed.size(), 1u);
  ExpectEmpty(picture, "after Dispose");
}

TEST_F(PictureLoadTest, UnicodeFileNamesLoadAndSave) {
  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath(kChinesePictureName).c_str()));
  ExpectPatternPixels(PixelsOf(picture.Handle()), true, "Chinese name");

  // Names no single ANSI code page holds; each must reach the disk as it is.
  TempFolder folder{"pc_picture"};
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    const std::string path = folder.File(std::string(name.utf8) + ".png");
    ASSERT_TRUE(picture.SaveToFile(path.c_str(), kFormatPng)) << name.utf8;
    // Looked up by its UTF-16 name, so the file really carries that name.
    const std::wstring widePath = folder.WideFile(std::wstring(name.wide) + L".png");
    EXPECT_NE(GetFileAttributesW(widePath.c_str()), INVALID_FILE_ATTRIBUTES) << name.utf8;
    Picture again;
    ASSERT_TRUE(again.LoadFromFile(path.c_str())) << name.utf8;
    ExpectPatternPixels(PixelsOf(again.Handle()), true, name.utf8);
  }
}

}  // namespace
