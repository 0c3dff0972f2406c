// GifReader: files written by ImageMagick, gifsicle and giflib's gifbuild
// (tests/testdata/make_gif.sh) decode to the first frame's pixels as
// ImageMagick decodes them, placed on the logical screen; damaged files
// (cut short, sizes that lie, LZW garbage, no image, endless extensions)
// fail without leaving anything behind.
#include "engine/gif_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/codec_conventions.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::GifReader;
using engine::RasterImage;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/gif/" + name;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "screen-width screen-height left top width height" as make_gif.sh wrote it.
struct Geometry {
  int screenWidth = 0;
  int screenHeight = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

Geometry ReadGeometry(const std::string& name) {
  std::ifstream in(TestPicture(name + ".geometry"));
  Geometry geometry;
  in >> geometry.screenWidth >> geometry.screenHeight >> geometry.left >> geometry.top >>
      geometry.width >> geometry.height;
  return geometry;
}

struct Argb {
  int alpha, red, green, blue;
};

Argb PixelAt(const RasterImage& image, int x, int y) {
  const std::uint8_t* row = image.Row(y);
  if (image.BitsPerPixel() == 8) {
    const engine::PaletteEntry& entry = image.PaletteEntries()[row[x]];
    return {255, entry.red, entry.green, entry.blue};
  }
  const std::uint8_t* pixel = row + 4 * x;
  return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

using GifReaderTest = ReaderTestOf<GifReader>;

struct ReadCase {
  const char* name;
  int bits;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& readCase) {
  return out << readCase.name;
}

class GifReadTest : public GifReaderTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(GifReadTest, FirstFrameDecodesToImageMagicksPixelsOnTheScreen) {
  const std::string name = GetParam().name;
  const Geometry geometry = ReadGeometry(name);
  ASSERT_GT(geometry.width, 0) << "no reference for " << name << " (make_gif.sh did not run?)";
  const Bytes reference = ReadWholeFile(TestPicture(name + ".rgba"));
  ASSERT_EQ(reference.size(), std::size_t(geometry.width) * geometry.height * 4);

  RasterImage image;
  {
    GifReader reader;
    ASSERT_EQ(reader.OpenRead(TestPicture(name + ".gif").c_str(), image), 1);
    EXPECT_EQ(reader.ScreenWidth(), geometry.screenWidth);
    EXPECT_EQ(reader.ScreenHeight(), geometry.screenHeight);
    ASSERT_EQ(reader.Read(), 1);
  }
  ASSERT_EQ(image.Width(), geometry.screenWidth);
  ASSERT_EQ(image.Height(), geometry.screenHeight);
  ASSERT_EQ(image.BitsPerPixel(), GetParam().bits);
  if (GetParam().bits == 8) {
    EXPECT_EQ(image.PaletteSize(), 256);
  }

  int wrong = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const Argb actual = PixelAt(image, x, y);
      const int frameX = x - geometry.left;
      const int frameY = y - geometry.top;
      if (frameX < 0 || frameY < 0 || frameX >= geometry.width || frameY >= geometry.height) {
        // The screen outside the frame is transparent.
        if (actual.alpha != 0 && ++wrong <= 3) ADD_FAILURE() << "uncovered " << x << "," << y;
        continue;
      }
      const std::uint8_t* expected =
          &reference[(std::size_t(frameY) * geometry.width + frameX) * 4];
      const bool same =
          actual.alpha == expected[3] &&
          (expected[3] == 0 || (actual.red == expected[0] && actual.green == expected[1] &&
                                actual.blue == expected[2]));
      if (!same && ++wrong <= 3) {
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << actual.alpha << "/" << actual.red
                      << "," << actual.green << "," << actual.blue << " instead of "
                      << int(expected[3]) << "/" << int(expected[0]) << "," << int(expected[1])
                      << "," << int(expected[2]);
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(temp.Entries().size() == 1) << "only the image's own backing file may remain";
}

INSTANTIATE_TEST_SUITE_P(
    Files, GifReadTest,
    ::testing::Values(
        // Opaque frames covering the screen: 8 bits with the colour table.
        ReadCase{"rgb", 8}, ReadCase{"plain", 8}, ReadCase{"mono", 8}, ReadCase{"local", 8},
        ReadCase{"animated", 8},
        // Interlaced by ImageMagick and gifsicle, and too short for every pass.
        ReadCase{"interlaced", 8}, ReadCase{"gifsicle_interlaced", 8},
        ReadCase{"interlaced_short", 8},
        // A transparent colour, and a frame smaller than the screen: 32 bits.
        ReadCase{"transparent", 32}, ReadCase{"offset", 32}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(GifReaderTest, ReadingReportsEveryLineThenAFinalCall) {
  RasterImage image;
  GifReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("interlaced.gif").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "the open step reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressReading, 37));
}

// The probe takes only what giflib recognises as a GIF.
TEST_F(GifReaderTest, ProbeRefusesWhatIsNoGif) {
  EXPECT_EQ(Opens(TestPicture("truncated_header.gif")), 0);
  EXPECT_EQ(Opens(TestPicture("missing.gif")), 0);
  EXPECT_EQ(OpensBytes(Bytes{'G', 'I', 'F', '8', '9', 'b', 2, 0, 2, 0, 0, 0, 0}), 0);
  EXPECT_EQ(OpensBytes(Bytes{}), 0);
  EXPECT_EQ(Opens(TestPicture("plain.gif")), 1);
}

// Each damaged file is accepted by the probe (its header is sound) and then
// fails to read, leaving no temporary file.
TEST_F(GifReaderTest, DamagedFilesFailWithoutLeavingAnything) {
  for (const char* name :
       {"truncated.gif", "huge_screen.gif", "huge_frame.gif", "more_rows.gif", "lzw_garbage.gif",
        "no_image.gif", "endless_extension.gif", "no_colour_table.gif"}) {
    SCOPED_TRACE(name);
    progressCalls.clear();
    {
      RasterImage image;
      GifReader reader;
      ASSERT_EQ(reader.OpenRead(TestPicture(name).c_str(), image, RecordProgress), 1);
      EXPECT_EQ(reader.Read(), 0);
      EXPECT_EQ(reader.Read(), 0) << "a failed reader stays failed";
      ASSERT_FALSE(progressCalls.empty());
      EXPECT_EQ(progressCalls.back().percent, 100);
    }
    EXPECT_TRUE(temp.Entries().empty());
  }
}

// Sizes that lie are refused before the image is made.
TEST_F(GifReaderTest, ScreensTheFileCannotFillAreRefusedBeforeAllocating) {
  for (const char* name : {"huge_screen.gif", "huge_frame.gif"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    GifReader reader;
    ASSERT_EQ(reader.OpenRead(TestPicture(name).c_str(), image), 1);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_TRUE(image.IsEmpty());
  }
}

}  // namespace
}  // namespace engine_test
