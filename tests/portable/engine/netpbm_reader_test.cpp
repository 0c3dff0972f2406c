// NetpbmReader: plain and raw PBM, PGM and PPM files of every maxval, written
// by netpbm and ImageMagick (make_netpbm.sh), decode to the pixels netpbm
// gives (exactly) and ImageMagick gives (within 1 where scaling rounds);
// comments stand wherever netpbm allows them; damaged files are refused or
// fail to read, and the loader answers "not readable" for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/netpbm_reader.h"
#include "engine/picture_loader.h"
#include "engine/raster_image.h"
#include "engine/result_codes.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::NetpbmReader;
using engine::RasterImage;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/netpbm/" + name;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// Red, green, blue of every pixel of an 8-bit grey or a 24-bit image.
Bytes Colours(const RasterImage& image) {
  if (image.BitsPerPixel() == 24) return ImageBytes(image);
  Bytes colours;
  for (std::uint8_t grey : ImageBytes(image)) colours.insert(colours.end(), {grey, grey, grey});
  return colours;
}

int LargestDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

class NetpbmReaderTest : public ReaderTestOf<NetpbmReader> {};

TEST_F(NetpbmReaderTest, FilesOfNetpbmAndImageMagickDecodeToTheirReferencePixels) {
  struct Variant {
    const char* file;
    char kind;
    int bits;
    int maxval;
    int fromImageMagick;  // largest difference from ImageMagick's decoding
  };
  const Variant variants[] = {
      {"pattern.ppm", '6', 24, 255, 0},   {"pattern_plain.ppm", '3', 24, 255, 0},
      {"ramp.pgm", '5', 8, 255, 0},       {"ramp_plain.pgm", '2', 8, 255, 0},
      {"dither.pbm", '4', 8, 1, 0},       {"dither_plain.pbm", '1', 8, 1, 0},
      {"deep.ppm", '6', 24, 65535, 1},    {"deep_plain.ppm", '3', 24, 65535, 1},
      {"deepgrey.pgm", '5', 8, 65535, 1}, {"deepgrey_plain.pgm", '2', 8, 65535, 1},
      {"ramp16.pgm", '5', 8, 65535, 1},   {"maxval1000.ppm", '6', 24, 1000, 1},
      {"maxval100.ppm", '6', 24, 100, 1}, {"maxval15_plain.pgm", '2', 8, 15, 1},
      {"maxval1.pgm", '5', 8, 1, 0},      {"im_plain.ppm", '3', 24, 255, 0},
      {"im.pgm", '5', 8, 255, 0},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.file);
    const std::string stem = std::string(v.file).substr(0, std::string(v.file).rfind('.'));
    const Ppm netpbm = ReadPpm(TestPicture(stem + ".netpbm.ppm"));
    const Ppm imageMagick = ReadPpm(TestPicture(stem + ".im.ppm"));
    RasterImage image;
    NetpbmReader reader;
    ASSERT_EQ(reader.OpenRead(TestPicture(v.file).c_str(), image), 1);
    EXPECT_EQ(reader.Kind(), v.kind);
    EXPECT_EQ(reader.Maxval(), v.maxval);
    EXPECT_EQ(reader.Width(), netpbm.width);
    EXPECT_EQ(reader.Height(), netpbm.height);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), v.bits);
    EXPECT_EQ(image.PaletteSize(), 0);
    ASSERT_EQ(image.Width(), netpbm.width);
    ASSERT_EQ(image.Height(), netpbm.height);
    EXPECT_EQ(LargestDifference(Colours(image), netpbm.pixels), 0);
    EXPECT_LE(LargestDifference(Colours(image), imageMagick.pixels), v.fromImageMagick);
  }
}

TEST_F(NetpbmReaderTest, CommentsAndAnyWhiteSpaceStandWhereNetpbmAllowsThem) {
  // The same pictures with their headers (and the plain rasters) rewritten:
  // comments after the magic number, right after numbers, on lines of their
  // own, ending in CR; tabs and CR LF as white space.
  struct Variant {
    const char* file;
    std::string header;
  };
  const Variant variants[] = {
      {"pattern.ppm", "P6#magic\n37#width\r23\n#a line of its own\n\t255#the one space\n"},
      {"deepgrey.pgm", "P5 # sixteen bits\r\n29 17 65535\n"},
      {"dither.pbm", "P4\n# bits\n37#x\n23\n"},
      {"ramp_plain.pgm", "P2\r\n#\n37\t23 #c\n255\n"},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.file);
    const Bytes original = ReadBytes(TestPicture(v.file));
    // netpbm writes the header on three lines (two for bitmaps).
    std::size_t rasterAt = 0;
    for (int lines = v.file[std::string(v.file).size() - 2] == 'b' ? 2 : 3; lines > 0; ++rasterAt) {
      if (original[rasterAt] == '\n') --lines;
    }
    Bytes raster(original.begin() + static_cast<std::ptrdiff_t>(rasterAt), original.end());
    if (v.header[1] == '2') {
      // Plain samples may carry comments too.
      const std::string text(raster.begin(), raster.end());
      const std::size_t space = text.find(' ', 3);
      const std::string commented =
          "#first\n" + text.substr(0, space) + "#inside\n" + text.substr(space + 1);
      raster = Text(commented);
    }
    Bytes file = Text(v.header);
    file.insert(file.end(), raster.begin(), raster.end());
    RasterImage expected, image;
    ASSERT_EQ(Load(TestPicture(v.file), expected), 1);
    ASSERT_EQ(LoadBytes(file, image), 1);
    EXPECT_EQ(image.Width(), expected.Width());
    EXPECT_TRUE(ImageBytes(image) == ImageBytes(expected));
  }
}

TEST_F(NetpbmReaderTest, SmallPicturesDecodeToTheExactLevels) {
  struct Case {
    const char* what;
    std::string file;
    Bytes pixels;
  };
  const Case cases[] = {
      {"plain bitmap digits without space", "P1 3 2 010\n1 1 0", {255, 0, 255, 0, 0, 255}},
      {"raw bitmap, a row ends inside its byte",
       std::string("P4 3 2\n") + '\xA0' + '\x7F',
       {0, 255, 0, 255, 0, 0}},
      {"maxval 1 greymap", "P2 3 1 1 0 1 1", {0, 255, 255}},
      {"last plain sample at the end of the file", "P2 2 1 10 5 7", {128, 179}},
      {"16-bit raw samples are big-endian",
       std::string("P5 3 1 65535\n") + '\x80' + '\x00' + '\x00' + '\x80' + '\xFF' + '\xFF',
       {128, 0, 255}},
      // 25854 and 129 are 100.6 and 0.502 of 255: rounded, not cut.
      {"16-bit rounding",
       std::string("P5 2 1 65535\n") + '\x64' + '\xFE' + '\x00' + '\x81',
       {101, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RasterImage image;
    ASSERT_EQ(LoadBytes(Text(c.file), image), 1);
    EXPECT_EQ(image.BitsPerPixel(), 8);
    EXPECT_TRUE(ImageBytes(image) == c.pixels);
  }
}

TEST_F(NetpbmReaderTest, DamagedFilesAreRefusedOrFailToRead) {
  const Bytes pattern = ReadBytes(TestPicture("pattern.ppm"));
  const Bytes deep = ReadBytes(TestPicture("deep.ppm"));
  struct Case {
    const char* what;
    Bytes file;
    int opens;  // 1: accepted by the open step, then fails to read
  };
  const Case cases[] = {
      {"no magic number", Text("P7\n2 1\n255\n\x01\x02"), 0},
      {"no Netpbm file at all", Text("GIF89a"), 0},
      {"header ends after the width", Text("P5 12"), 0},
      {"no white space after the maxval", Text("P5 1 1 255"), 0},
      {"comment never ends", Text("P5 1 1 #"), 0},
      {"junk where a number belongs", Text("P5 x 1 255\n\x01"), 0},
      {"number runs into junk", Text("P5 1x 1 255\n\x01"), 0},
      {"width 0", Text("P5 0 1 255\n"), 0},
      {"maxval 0", Text("P5 1 1 0\n\x00"), 0},
      {"maxval 65536", Text("P5 1 1 65536\n\x00\x00"), 0},
      {"width beyond 32 bits", Text("P5 99999999999 1 255\n\x01"), 0},
      {"picture larger than the engine maps", Text("P6 60000 60000 255\n"), 0},
      {"raw raster cut short", Bytes(pattern.begin(), pattern.end() - 1), 0},
      {"16-bit raw raster cut by a byte", Bytes(deep.begin(), deep.end() - 1), 0},
      {"raw bitmap missing a row", Text("P4 9 2\n\x01\x02\x03"), 0},
      {"plain file too short for its samples", Text("P3 2 2 255 1 2 3 4 5 6\n"), 0},
      {"plain bitmap too short", Text("P1 3 2 0101"), 0},
      {"plain sample above maxval", Text("P2 2 1 10 5 11\n"), 1},
      {"plain sample far above any maxval", Text("P2 1 1 65535 99999999999\n"), 1},
      {"raw sample above maxval", Text("P5 2 1 10\n\x05\x0B"), 1},
      {"16-bit raw sample above maxval", Text("P5 1 1 1000\n\x03\xE9"), 1},
      {"plain samples missing (only space left)", Text("P2 3 1 10 5     \n"), 1},
      {"plain sample that is no number", Text("P3 1 1 255 1 2 x\n"), 1},
      {"plain number ending in junk", Text("P2 2 1 255 12x 13\n"), 1},
      {"plain bitmap with a 2", Text("P1 2 1 02\n"), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RasterImage image;
    NetpbmReader reader;
    const std::string path = MakeFile("damaged.pnm", c.file);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), c.opens);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_EQ(engine::LoadPicture(path.c_str(), image), engine::ResultNotReadable);
    EXPECT_TRUE(image.IsEmpty());
  }
}

TEST_F(NetpbmReaderTest, ReadReportsEveryRowThenAFinalCallAndReadsOnlyOnce) {
  RasterImage image;
  NetpbmReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("ramp_plain.pgm").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressReading, 23));
  EXPECT_EQ(reader.Read(), 0);
}

TEST_F(NetpbmReaderTest, TheLoaderReadsNetpbmFiles) {
  RasterImage image;
  ASSERT_EQ(engine::LoadPicture(TestPicture("pattern_plain.ppm").c_str(), image), engine::ResultOk);
  EXPECT_TRUE(ImageBytes(image) == ReadPpm(TestPicture("pattern.netpbm.ppm")).pixels);
}

}  // namespace
}  // namespace engine_test
