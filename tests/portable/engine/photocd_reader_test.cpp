// PhotoCdReader: image packs laid out here (no Debian tool writes them) decode
// each pair of rows from its luminance and shared chrominance, with colours
// checked against values worked out by hand; files without the "PCD_IPI"
// signature or too short for the base image are refused, however large.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/photocd_reader.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::PhotoCdReader;
using engine::RasterImage;
using engine::SourceVariant;

// Where the image data of each resolution starts and ends in an image pack.
constexpr std::size_t kBase16Offset = 0x2000;
constexpr std::size_t kBase4Offset = 0xB800;
constexpr std::size_t kBaseOffset = 0x30000;
constexpr std::size_t kBaseEnd = kBaseOffset + 768 * 512 * 3 / 2;  // 786,432
static_assert(kBaseEnd == 786432, "the base image ends at 786,432");

// Neutral chrominance: C1 156 and C2 137 add no colour.
constexpr std::uint8_t kNeutralC1 = 156;
constexpr std::uint8_t kNeutralC2 = 137;

// An image pack whose three lowest resolutions are black (luminance 0,
// neutral chrominance), with single samples set on top.
class ImagePack {
 public:
  explicit ImagePack(std::size_t size = kBaseEnd) : bytes(size, 0) {
    std::memcpy(&bytes[0x800], "PCD_IPI", 7);
    Clear(kBase16Offset, 192, 128);
    Clear(kBase4Offset, 384, 256);
    Clear(kBaseOffset, 768, 512);
  }

  // Row pair p of an image of `width` columns starting at `offset` holds the
  // upper row's luminance, the lower row's, then width / 2 samples of C1 and
  // width / 2 of C2, each for two columns of both rows.
  void SetLuma(std::size_t offset, int width, int row, int column, std::uint8_t y) {
    At(PairStart(offset, width, row / 2) + (row % 2) * width + column) = y;
  }
  void SetChroma(std::size_t offset, int width, int row, int column, std::uint8_t c1,
                 std::uint8_t c2) {
    const std::size_t chroma = PairStart(offset, width, row / 2) + 2 * width;
    At(chroma + column / 2) = c1;
    At(chroma + width / 2 + column / 2) = c2;
  }

  Bytes bytes;

 private:
  static std::size_t PairStart(std::size_t offset, int width, int pair) {
    return offset + static_cast<std::size_t>(pair) * 3 * width;
  }
  std::uint8_t& At(std::size_t at) { return bytes.at(at); }
  void Clear(std::size_t offset, int width, int height) {
    if (bytes.size() < offset + static_cast<std::size_t>(width) * height * 3 / 2) return;
    for (int pair = 0; pair < height / 2; ++pair) {
      const std::size_t chroma = PairStart(offset, width, pair) + 2 * width;
      std::fill_n(bytes.begin() + chroma, width / 2, kNeutralC1);
      std::fill_n(bytes.begin() + chroma + width / 2, width / 2, kNeutralC2);
    }
  }
};

struct Rgb {
  std::uint8_t red, green, blue;
  bool operator==(const Rgb& other) const {
    return red == other.red && green == other.green && blue == other.blue;
  }
};
std::ostream& operator<<(std::ostream& out, const Rgb& rgb) {
  return out << "(" << int(rgb.red) << ", " << int(rgb.green) << ", " << int(rgb.blue) << ")";
}

Rgb PixelAt(const RasterImage& image, int row, int column) {
  const std::uint8_t* at = image.Row(row) + 3 * column;
  return Rgb{at[0], at[1], at[2]};
}

struct ExpectedPixel {
  int row, column;
  Rgb colour;
};

// Checks the listed pixels and that every other pixel is black.
void ExpectPixels(const RasterImage& image, const std::vector<ExpectedPixel>& expected) {
  std::vector<bool> listed(static_cast<std::size_t>(image.Width()) * image.Height(), false);
  for (const ExpectedPixel& e : expected) {
    EXPECT_EQ(PixelAt(image, e.row, e.column), e.colour)
        << "row " << e.row << " column " << e.column;
    listed[static_cast<std::size_t>(e.row) * image.Width() + e.column] = true;
  }
  int wrong = 0;
  for (int row = 0; row < image.Height(); ++row) {
    for (int column = 0; column < image.Width(); ++column) {
      if (listed[static_cast<std::size_t>(row) * image.Width() + column]) continue;
      if (!(PixelAt(image, row, column) == Rgb{0, 0, 0}) && ++wrong <= 5) {
        ADD_FAILURE() << "row " << row << " column " << column << " is "
                      << PixelAt(image, row, column) << ", not black";
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

class PhotoCdReaderTest : public ReaderTest {
 protected:
  int OpensBytes(const Bytes& bytes, int resolution = engine::kPhotoCdBaseResolution) const {
    return Opens(PhotoCdReader(resolution), MakeFile("made.pcd", bytes));
  }
};

// Colours of chosen samples, worked out by hand from
//   red   = 1.407488 Y + 1.3230336 (C2 - 137) + 0.0000256 (C1 - 156)
//   green = 1.407488 Y - (0.67392 (C2 - 137) + 0.3954176 (C1 - 156))
//   blue  = 1.407488 Y + 0.0000256 (C2 - 137) + 2.0360448 (C1 - 156)
// each rounded half up and limited to 0..255.
//
// Y 100, C1 200, C2 50 (c1 = 44, c2 = -87; 1.407488 Y = 140.7488):
//   red   140.7488 - 115.1039232 + 0.0011264       =  25.6460032 -> 26
//   green 140.7488 - (-58.63104 + 17.3983744)      = 181.9814656 -> 182
//   blue  140.7488 - 0.0022272 + 89.5859712         = 230.332544  -> 230
// Y 0 with the same chrominance:
//   red   -115.1039232 + 0.0011264 = -115.1 -> 0;  green 41.2326656 -> 41;
//   blue  89.583744 -> 90
// Y 50, C1 100, C2 220 (c1 = -56, c2 = 83; 1.407488 Y = 70.3744):
//   red   70.3744 + 109.8117888 - 0.0014336        = 180.1847552 -> 180
//   green 70.3744 - (55.93536 - 22.1433856)        =  36.5824256 -> 37
//   blue  70.3744 + 0.0021248 - 114.0185088        = -43.641984  -> 0
// Y 255 with the same chrominance (1.407488 Y = 358.90944):
//   red 468.72 -> 255;  green 325.12 -> 255;  blue 244.893056 -> 245
// Y 0 with the same chrominance:
//   red 109.8117888 - 0.0014336 = 109.8103552 -> 110;  green -33.79 -> 0;
//   blue -114.02 -> 0
// Y 180, C1 250, C2 20 (c1 = 94, c2 = -117; 1.407488 Y = 253.34784):
//   red   253.34784 - 154.7949312 + 0.0024064      =  98.5553152 -> 99
//   green 253.34784 + 78.84864 - 37.1692544        = 295.0272256 -> 255
//   blue  253.34784 - 0.0029952 + 191.3882112      = 444.733056  -> 255
// Y 0 with the same chrominance: red -154.79 -> 0; green 41.6793856 -> 42;
//   blue 191.385216 -> 191
// Neutral chrominance: Y 2 -> 2.814976 -> 3 (rounded, not cut);
//   Y 128 -> 180.158464 -> 180;  Y 255 -> 358.90944 -> 255;  Y 0 -> 0
TEST_F(PhotoCdReaderTest, BaseImageDecodesEachRowPairFromItsLuminanceAndSharedChrominance) {
  ImagePack pack;
  const std::size_t base = kBaseOffset;
  // Pair 5 (rows 10 and 11), columns 6 and 7 share C1/C2 sample 3.
  pack.SetChroma(base, 768, 10, 6, 200, 50);
  pack.SetLuma(base, 768, 10, 6, 100);
  pack.SetLuma(base, 768, 10, 7, 100);
  // Last pair, last two columns.
  pack.SetChroma(base, 768, 510, 766, 100, 220);
  pack.SetLuma(base, 768, 510, 767, 50);
  pack.SetLuma(base, 768, 511, 767, 255);
  // Pair 100, column 300 (its partner column 301 stays at Y 0).
  pack.SetChroma(base, 768, 200, 300, 250, 20);
  pack.SetLuma(base, 768, 200, 300, 180);
  // Neutral chrominance in the first pair.
  pack.SetLuma(base, 768, 0, 2, 2);
  pack.SetLuma(base, 768, 1, 2, 128);
  pack.SetLuma(base, 768, 1, 3, 255);

  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBaseResolution);
  const std::string path = MakeFile("base.pcd", pack.bytes);
  ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
  EXPECT_EQ(reader.Variant(), SourceVariant::PhotoCdBase);
  EXPECT_EQ(reader.Width(), 768);
  EXPECT_EQ(reader.Height(), 512);
  EXPECT_EQ(reader.BitsPerPixel(), 24);
  EXPECT_EQ(reader.SourcePath(), path);
  ASSERT_EQ(reader.Read(), 1);
  ASSERT_EQ(image.Width(), 768);
  ASSERT_EQ(image.Height(), 512);
  ASSERT_EQ(image.BitsPerPixel(), 24);
  ExpectPixels(image, {
                          {10, 6, {26, 182, 230}},
                          {10, 7, {26, 182, 230}},
                          {11, 6, {0, 41, 90}},
                          {11, 7, {0, 41, 90}},
                          {510, 766, {110, 0, 0}},
                          {510, 767, {180, 37, 0}},
                          {511, 766, {110, 0, 0}},
                          {511, 767, {255, 255, 245}},
                          {200, 300, {99, 255, 255}},
                          {200, 301, {0, 42, 191}},
                          {201, 300, {0, 42, 191}},
                          {201, 301, {0, 42, 191}},
                          {0, 2, {3, 3, 3}},
                          {1, 2, {180, 180, 180}},
                          {1, 3, {255, 255, 255}},
                      });
}

TEST_F(PhotoCdReaderTest, LowerResolutionsReadTheirOwnImagesFromTheirOwnOffsets) {
  ImagePack pack;
  // The same samples in each image: only the one asked for may show.
  pack.SetChroma(kBase16Offset, 192, 126, 190, 200, 50);
  pack.SetLuma(kBase16Offset, 192, 127, 191, 100);
  pack.SetChroma(kBase4Offset, 384, 254, 382, 250, 20);
  pack.SetLuma(kBase4Offset, 384, 255, 382, 180);
  pack.SetLuma(kBaseOffset, 768, 0, 0, 255);
  const std::string path = MakeFile("pack.pcd", pack.bytes);

  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBase16Resolution);
  ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
  EXPECT_EQ(reader.Variant(), SourceVariant::PhotoCdBase16);
  ASSERT_EQ(reader.Read(), 1);
  ASSERT_EQ(image.Width(), 192);
  ASSERT_EQ(image.Height(), 128);
  ExpectPixels(image, {{126, 190, {0, 41, 90}},
                       {126, 191, {0, 41, 90}},
                       {127, 190, {0, 41, 90}},
                       {127, 191, {26, 182, 230}}});

  PhotoCdReader base4Reader(engine::kPhotoCdBase4Resolution);
  ASSERT_EQ(base4Reader.OpenRead(path.c_str(), image), 1);
  EXPECT_EQ(base4Reader.Variant(), SourceVariant::PhotoCdBase4);
  ASSERT_EQ(base4Reader.Read(), 1);
  ASSERT_EQ(image.Width(), 384);
  ASSERT_EQ(image.Height(), 256);
  ExpectPixels(image, {{254, 382, {0, 42, 191}},
                       {254, 383, {0, 42, 191}},
                       {255, 382, {99, 255, 255}},
                       {255, 383, {0, 42, 191}}});

  PhotoCdReader baseReader(engine::kPhotoCdBaseResolution);
  ASSERT_EQ(baseReader.OpenRead(path.c_str(), image), 1);
  ASSERT_EQ(baseReader.Read(), 1);
  ExpectPixels(image, {{0, 0, {255, 255, 255}}});
}

TEST_F(PhotoCdReaderTest, FileMustHoldTheBaseImageWhicheverResolutionIsRead) {
  ImagePack shortPack(kBaseEnd - 1);
  for (int resolution = 0; resolution <= 2; ++resolution) {
    SCOPED_TRACE(resolution);
    EXPECT_EQ(OpensBytes(shortPack.bytes, resolution), 0);
  }
  ImagePack exact(kBaseEnd);
  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBaseResolution);
  ASSERT_EQ(reader.OpenRead(MakeFile("exact.pcd", exact.bytes).c_str(), image), 1);
  EXPECT_EQ(reader.Read(), 1);
  ImagePack longer(kBaseEnd + 4 * 1024 * 1024);
  EXPECT_EQ(OpensBytes(longer.bytes), 1);
}

TEST_F(PhotoCdReaderTest, LargeFilesWithoutTheSignatureAreRefused) {
  // Plain text of 1.5 MiB.
  std::string text;
  while (text.size() < 1536 * 1024)
    text += "The quick brown fox jumps over the lazy dog. 0123456789\r\n";
  EXPECT_EQ(OpensBytes(Bytes(text.begin(), text.end())), 0);
  // Zeros, and an image pack whose signature is damaged or misplaced.
  EXPECT_EQ(OpensBytes(Bytes(2 * 1024 * 1024, 0)), 0);
  ImagePack pack(1024 * 1024);
  pack.bytes[0x800 + 6] = 'X';
  EXPECT_EQ(OpensBytes(pack.bytes), 0);
  ImagePack moved(1024 * 1024);
  std::memset(&moved.bytes[0x800], 0, 7);
  std::memcpy(&moved.bytes[0x801], "PCD_IPI", 7);
  EXPECT_EQ(OpensBytes(moved.bytes), 0);
  std::memcpy(&moved.bytes[0], "PCD_IPI", 7);
  EXPECT_EQ(OpensBytes(moved.bytes), 0);
  // A 256-colour bitmap padded past 1 MiB is no image pack either.
  Bytes bitmap(1024 * 1024 + 100, 0x11);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  EXPECT_EQ(OpensBytes(bitmap), 0);
}

TEST_F(PhotoCdReaderTest, ResolutionsOtherThanTheThreeLowestAreRefused) {
  ImagePack pack;
  for (int resolution : {-1, 3, 4, 1000}) {
    SCOPED_TRACE(resolution);
    EXPECT_EQ(OpensBytes(pack.bytes, resolution), 0);
  }
}

TEST_F(PhotoCdReaderTest, MissingFilesAndFoldersAreRefused) {
  RasterImage image;
  PhotoCdReader reader(2);
  EXPECT_EQ(reader.OpenRead(FilePath("missing.pcd").c_str(), image), 0);
  EXPECT_EQ(reader.OpenRead(files.PathText().c_str(), image), 0);
  EXPECT_EQ(reader.OpenRead(nullptr, image), 0);
  EXPECT_EQ(reader.Read(), 0);
}

TEST_F(PhotoCdReaderTest, BaseImageReportsEachOfItsTwoHundredFiftySixRowPairsThenAFinalCall) {
  ImagePack pack;
  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBaseResolution);
  ASSERT_EQ(reader.OpenRead(MakeFile("pack.pcd", pack.bytes).c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  ASSERT_EQ(progressCalls.size(), 257u);
  for (int pair = 0; pair < 256; ++pair) {
    EXPECT_EQ(progressCalls[pair].direction, engine::kProgressReading);
    EXPECT_EQ(progressCalls[pair].row, 2 * pair);
    EXPECT_EQ(progressCalls[pair].percent, (2 * pair + 1) * 100 / 512);
    EXPECT_EQ(progressCalls[pair].reserved, 0);
  }
  EXPECT_EQ(progressCalls[256].row, 511);
  EXPECT_EQ(progressCalls[256].percent, 100);
}

TEST_F(PhotoCdReaderTest, FileThatShrinksAfterOpeningFailsToReadWithAFinalReport) {
  ImagePack pack;
  const std::string path = MakeFile("shrinking.pcd", pack.bytes);
  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBaseResolution);
  ASSERT_EQ(reader.OpenRead(path.c_str(), image, RecordProgress), 1);
  std::error_code error;
  // Ten row pairs of the base image remain.
  fs::resize_file(path, kBaseOffset + 10 * 3 * 768, error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(reader.Read(), 0);
  ASSERT_EQ(progressCalls.size(), 11u);
  EXPECT_EQ(progressCalls.back().row, 511);
  EXPECT_EQ(reader.Read(), 0) << "a failed read closes the reader";
}

TEST_F(PhotoCdReaderTest, RowBuffersAreMappedScratchFilesDeletedAfterwards) {
  watchedFolder = temp.PathText();
  mostBackingFiles = 0;
  ImagePack pack;
  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBase16Resolution);
  ASSERT_EQ(reader.OpenRead(MakeFile("pack.pcd", pack.bytes).c_str(), image, CountBackingFiles), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(mostBackingFiles, 4u) << "the image and three row buffers";
  EXPECT_EQ(temp.Entries().size(), 1u) << "only the image's storage stays";
}

TEST_F(PhotoCdReaderTest, ReadThatCannotCreateTheImageFailsWithAFinalReport) {
  ImagePack pack;
  RasterImage image;
  PhotoCdReader reader(engine::kPhotoCdBase4Resolution);
  ASSERT_EQ(reader.OpenRead(MakeFile("pack.pcd", pack.bytes).c_str(), image, RecordProgress), 1);
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(reader.Read(), 0);
  temp.PointAt(temp.PathText());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0].row, 255);
  EXPECT_TRUE(image.IsEmpty());
}

TEST_F(PhotoCdReaderTest, EveryPathReleasesTheSourceFile) {
  // Windows refuses to rename a file that is still open.
  ImagePack pack;
  RasterImage image;
  std::error_code error;
  {
    PhotoCdReader reader(0);
    const std::string path = MakeFile("read.pcd", pack.bytes);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    fs::rename(path, FilePath("read-moved.pcd"), error);
    EXPECT_FALSE(error) << "after a complete read";
  }
  {
    PhotoCdReader reader(3);
    const std::string path = MakeFile("refused.pcd", pack.bytes);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 0);
    fs::rename(path, FilePath("refused-moved.pcd"), error);
    EXPECT_FALSE(error) << "after a refused open";
  }
  {
    PhotoCdReader reader(2);
    const std::string path = MakeFile("closed.pcd", pack.bytes);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    reader.Close();
    fs::rename(path, FilePath("closed-moved.pcd"), error);
    EXPECT_FALSE(error) << "after Close without reading";
  }
}

}  // namespace
}  // namespace engine_test
