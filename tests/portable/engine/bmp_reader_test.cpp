// BmpReader: 24-bit bitmaps written by ImageMagick, GraphicsMagick and netpbm
// decode to the pixels bmptopnm gives; every other depth and compression they
// write decodes to the pixels ImageMagick gives; damaged headers are refused
// before anything is allocated and damaged run-length data fails to read.
// Test pictures come from make_bmp.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/bmp_reader.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::BmpReader;
using engine::RasterImage;
using engine::SourceVariant;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/bmp/" + name;
}

std::uint32_t GetU32(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void PutU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Where the fields sit in a bitmap file: the file header is 14 bytes, the
// information or core header follows it.
constexpr std::size_t kPixelOffset = 10;
constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kWidth = 18;
constexpr std::size_t kHeight = 22;
constexpr std::size_t kBitCount = 28;
constexpr std::size_t kCompression = 30;
constexpr std::size_t kCoreWidth = 18;
constexpr std::size_t kCoreHeight = 20;

class BmpReaderTest : public ReaderTestOf<BmpReader> {};

// ---------------------------------------------------------------- good files

TEST_F(BmpReaderTest, TwentyFourBitFilesOfEveryHeaderKindLoadToTheirReferencePixels) {
  struct Case {
    const char* name;
    std::uint32_t headerSize;
    SourceVariant variant;
  };
  const Case cases[] = {
      {"info40", 40, SourceVariant::BmpWindows24},
      {"gm_info40", 40, SourceVariant::BmpWindows24},
      {"netpbm_info40", 40, SourceVariant::BmpWindows24},
      {"info108", 108, SourceVariant::BmpWindows24},
      {"info124", 124, SourceVariant::BmpWindows24},
      {"core12", 12, SourceVariant::BmpOs2Core24},
      {"netpbm_core12", 12, SourceVariant::BmpOs2Core24},
  };
  const Ppm source = ReadPpm(TestPicture("source.ppm"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPicture(std::string(c.name) + ".bmp");
    // The writers really produced the header this case stands for.
    ASSERT_EQ(GetU32(ReadBytes(path), kHeaderSize), c.headerSize);
    const Ppm reference = ReadPpm(TestPicture(std::string(c.name) + ".ppm"));

    RasterImage image;
    BmpReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(reader.Variant(), c.variant);
    EXPECT_EQ(reader.IsCoreHeader(), c.headerSize == 12);
    EXPECT_TRUE(reader.IsBottomUp());
    EXPECT_EQ(reader.Width(), 37);
    EXPECT_EQ(reader.Height(), 23);
    EXPECT_EQ(reader.BitsPerPixel(), 24);
    EXPECT_EQ(reader.SourcePath(), path);
    ASSERT_EQ(reader.Read(), 1);
    ASSERT_EQ(image.Width(), reference.width);
    ASSERT_EQ(image.Height(), reference.height);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_EQ(image.PaletteSize(), 0);
    EXPECT_TRUE(ImageBytes(image) == reference.pixels);
    // 24 bits hold the source exactly, whoever wrote the file.
    EXPECT_TRUE(ImageBytes(image) == source.pixels);
  }
}

TEST_F(BmpReaderTest, OneColumnRowsSkipTheirPaddingAndTheLastFileRowBecomesTheTopRow) {
  const Bytes file = ReadBytes(TestPicture("narrow.bmp"));
  const std::uint32_t offset = GetU32(file, kPixelOffset);
  ASSERT_EQ(file.size() - offset, 7u * 4) << "3 data bytes and 1 pad byte per row";
  const Ppm reference = ReadPpm(TestPicture("narrow.ppm"));
  RasterImage image;
  ASSERT_EQ(Load(TestPicture("narrow.bmp"), image), 1);
  ASSERT_EQ(image.Width(), 1);
  ASSERT_EQ(image.Height(), 7);
  EXPECT_TRUE(ImageBytes(image) == reference.pixels);
  // The top image row is the file's last row, stored blue, green, red.
  const std::size_t lastRow = offset + 6 * 4;
  EXPECT_EQ(image.Row(0)[0], file[lastRow + 2]);
  EXPECT_EQ(image.Row(0)[1], file[lastRow + 1]);
  EXPECT_EQ(image.Row(0)[2], file[lastRow]);
}

// Reverses the rows of a bottom-up 24-bit file and negates its height, which
// makes a top-down file of the same picture.
Bytes TopDownCopy(const Bytes& bottomUp) {
  Bytes file = bottomUp;
  const std::uint32_t offset = GetU32(file, kPixelOffset);
  const auto width = static_cast<std::int32_t>(GetU32(file, kWidth));
  const auto height = static_cast<std::int32_t>(GetU32(file, kHeight));
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  for (std::int32_t row = 0; row < height; ++row) {
    std::copy_n(bottomUp.begin() + offset + (height - 1 - row) * rowBytes, rowBytes,
                file.begin() + offset + row * rowBytes);
  }
  PutU32(file, kHeight, static_cast<std::uint32_t>(-height));
  return file;
}

TEST_F(BmpReaderTest, NegativeHeightPutsTheFirstFileRowOnTop) {
  const Ppm reference = ReadPpm(TestPicture("info40.ppm"));
  for (const char* name : {"info40.bmp", "info124.bmp"}) {
    SCOPED_TRACE(name);
    const std::string path = MakeFile("top-down.bmp", TopDownCopy(ReadBytes(TestPicture(name))));
    RasterImage image;
    BmpReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_FALSE(reader.IsBottomUp());
    EXPECT_EQ(reader.Height(), 23);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_TRUE(ImageBytes(image) == reference.pixels);
  }
}

TEST_F(BmpReaderTest, BaSignatureAndBitFieldCompressionAreReadLikePlainFiles) {
  const Ppm reference = ReadPpm(TestPicture("info40.ppm"));
  Bytes file = ReadBytes(TestPicture("info40.bmp"));
  file[1] = 'A';
  RasterImage image;
  EXPECT_EQ(Load(MakeFile("ba.bmp", file), image), 1);
  EXPECT_TRUE(ImageBytes(image) == reference.pixels);

  file = ReadBytes(TestPicture("info40.bmp"));
  PutU32(file, kCompression, 3);
  BmpReader reader;
  ASSERT_EQ(reader.OpenRead(MakeFile("bitfields.bmp", file).c_str(), image), 1);
  EXPECT_EQ(reader.Variant(), SourceVariant::BmpWindows24);
  EXPECT_EQ(reader.Compression(), 3u);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(ImageBytes(image) == reference.pixels);
}

TEST_F(BmpReaderTest, HeaderBlockNeedsOnlyTheFieldsItIsReadFor) {
  // A header block of exactly 20 bytes (up to the compression field) is
  // enough for an information header; the rows then start right after it.
  Bytes file = ReadBytes(TestPicture("info40.bmp"));
  PutU32(file, kPixelOffset, 14 + 20);
  EXPECT_EQ(OpensBytes(file), 1);
  // The core header's fields end at 12 bytes, its usual size.
  file = ReadBytes(TestPicture("core12.bmp"));
  ASSERT_EQ(GetU32(file, kPixelOffset), 14u + 12);
  EXPECT_EQ(OpensBytes(file), 1);
}

// ---------------------------------------------------------------- every variant

// Where more fields sit: the colours-used count, and the masks of headers of
// 52 bytes and more (also right after a 40-byte header).
constexpr std::size_t kColoursUsed = 46;
constexpr std::size_t kMasks = 54;

std::uint16_t GetU16(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// What one variant written by another program must decode to: the header it
// has (checked in the file, so the writer really made that variant), and the
// image it becomes.
struct Variant {
  const char* name;
  std::uint32_t headerSize;
  int bitCount;
  std::uint32_t compression;
  SourceVariant variant;
  int imageBits;
  int paletteSize;  // of the image; 0 for 24 and 32 bits
};

const Variant kVariants[] = {
    {"bits1", 40, 1, 0, SourceVariant::BmpWindows1, 8, 2},
    {"netpbm_pal1", 40, 1, 0, SourceVariant::BmpWindows1, 8, 2},
    {"bits4", 40, 4, 0, SourceVariant::BmpWindows4, 8, 16},
    {"netpbm_pal4", 40, 4, 0, SourceVariant::BmpWindows4, 8, 16},
    {"pal4_v5", 124, 4, 0, SourceVariant::BmpWindows4, 8, 16},
    {"bits4_few", 40, 4, 0, SourceVariant::BmpWindows4, 8, 4},
    {"bits8", 40, 8, 0, SourceVariant::BmpWindows8, 8, 256},
    {"gm_pal8", 40, 8, 0, SourceVariant::BmpWindows8, 8, 256},
    {"netpbm_pal8", 40, 8, 0, SourceVariant::BmpWindows8, 8, 256},
    {"pal8_v4", 108, 8, 0, SourceVariant::BmpWindows8, 8, 256},
    {"core_bits1", 12, 1, 0, SourceVariant::BmpOs2Core1, 8, 2},
    {"core_bits4", 12, 4, 0, SourceVariant::BmpOs2Core4, 8, 16},
    {"core_bits8", 12, 8, 0, SourceVariant::BmpOs2Core8, 8, 256},
    {"im_core8", 12, 8, 0, SourceVariant::BmpOs2Core8, 8, 256},
    {"rle8", 40, 8, 1, SourceVariant::BmpWindowsRle8, 8, 256},
    {"gm_rle8", 40, 8, 1, SourceVariant::BmpWindowsRle8, 8, 256},
    {"rle8_v4", 108, 8, 1, SourceVariant::BmpWindowsRle8, 8, 256},
    {"rle8_codes", 40, 8, 1, SourceVariant::BmpWindowsRle8, 8, 4},
    {"rle4_codes", 40, 4, 2, SourceVariant::BmpWindowsRle4, 8, 16},
    {"rgb555_v5", 124, 16, 3, SourceVariant::BmpWindows16, 24, 0},
    {"rgb555_plain", 124, 16, 0, SourceVariant::BmpWindows16, 24, 0},
    {"bits16_565", 124, 16, 3, SourceVariant::BmpWindows16, 24, 0},
    {"rgb565_v4", 108, 16, 3, SourceVariant::BmpWindows16, 24, 0},
    {"bits32", 40, 32, 0, SourceVariant::BmpWindows32, 32, 0},
    {"rgba32_plain", 40, 32, 0, SourceVariant::BmpWindows32, 32, 0},
    {"rgb32_zero", 40, 32, 0, SourceVariant::BmpWindows32, 24, 0},
    {"bits32_bitfields", 124, 32, 3, SourceVariant::BmpWindows32, 32, 0},
    {"argb32_v5", 124, 32, 3, SourceVariant::BmpWindows32, 32, 0},
    {"argb32_v4", 108, 32, 3, SourceVariant::BmpWindows32, 32, 0},
    {"info40", 40, 24, 0, SourceVariant::BmpWindows24, 24, 0},
};

// The reference of a variant: ImageMagick's decoding as red, green, blue,
// alpha.
Bytes ReferenceRgba(const std::string& name) {
  return ReadBytes(TestPicture(name + ".rgba"));
}

TEST_F(BmpReaderTest, EveryVariantDecodesToThePixelsImageMagickDecodes) {
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    const std::string path = TestPicture(std::string(v.name) + ".bmp");
    const Bytes file = ReadBytes(path);
    ASSERT_GT(file.size(), 54u);
    ASSERT_EQ(GetU32(file, kHeaderSize), v.headerSize);
    ASSERT_EQ(GetU16(file, v.headerSize == 12 ? 24 : kBitCount), v.bitCount);
    if (v.headerSize > 12) {
      ASSERT_EQ(GetU32(file, kCompression), v.compression);
    }

    RasterImage image;
    BmpReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(reader.Variant(), v.variant);
    EXPECT_EQ(reader.BitsPerPixel(), v.bitCount);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), v.imageBits);
    EXPECT_EQ(image.PaletteSize(), v.paletteSize);
    const Bytes reference = ReferenceRgba(v.name);
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(image.Width()) * image.Height() * 4);
    EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), reference, image.Width()), "");
  }
}

TEST_F(BmpReaderTest, PicturesWithAlphaKeepEveryLevelFromTransparentToOpaque) {
  // The source's alpha falls from 255 in the top row to 0 in the bottom one;
  // the 24-bit picture whose fourth bytes are all zero is opaque.
  for (const char* name : {"argb32_v5", "rgba32_plain"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    ASSERT_EQ(Load(TestPicture(std::string(name) + ".bmp"), image), 1);
    ASSERT_EQ(image.BitsPerPixel(), 32);
    EXPECT_EQ(image.Row(0)[0], 255);
    EXPECT_EQ(image.Row(image.Height() - 1)[0], 0);
  }
}

// Reverses the rows of a bottom-up uncompressed file of any depth and
// negates its height, which makes a top-down file of the same picture.
Bytes TopDownOf(const Bytes& bottomUp) {
  Bytes file = bottomUp;
  const std::uint32_t offset = GetU32(file, kPixelOffset);
  const auto width = static_cast<std::int32_t>(GetU32(file, kWidth));
  const auto height = static_cast<std::int32_t>(GetU32(file, kHeight));
  const std::size_t rowBytes =
      (static_cast<std::size_t>(width) * GetU16(file, kBitCount) + 31) / 32 * 4;
  for (std::int32_t row = 0; row < height; ++row) {
    std::copy_n(bottomUp.begin() + offset + (height - 1 - row) * rowBytes, rowBytes,
                file.begin() + offset + row * rowBytes);
  }
  PutU32(file, kHeight, static_cast<std::uint32_t>(-height));
  return file;
}

TEST_F(BmpReaderTest, TopDownFilesOfEveryDepthDecodeToTheSamePicture) {
  for (const char* name : {"bits1", "bits4", "pal8_v4", "rgb565_v4", "rgb555_plain", "bits32",
                           "rgb32_zero", "argb32_v5"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    BmpReader reader;
    const std::string path =
        MakeFile("top-down.bmp", TopDownOf(ReadBytes(TestPicture(std::string(name) + ".bmp"))));
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_FALSE(reader.IsBottomUp());
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), ReferenceRgba(name), image.Width()), "");
  }
}

// Gives a file with a 40-byte header an OS/2 2.x header of `size` bytes: the
// fields it has room for, then zeros; palette and pixels move along.
Bytes WithOs2Header(const Bytes& info40, std::uint32_t size) {
  Bytes file(info40.begin(), info40.begin() + 14);
  PutU32(file, kPixelOffset, GetU32(info40, kPixelOffset) + size - 40);
  const Bytes sizeField = {static_cast<std::uint8_t>(size), 0, 0, 0};
  file.insert(file.end(), sizeField.begin(), sizeField.end());
  file.insert(file.end(), info40.begin() + 18,
              info40.begin() + 14 + std::min<std::uint32_t>(size, 40));
  file.resize(14 + size, 0);
  file.insert(file.end(), info40.begin() + 54, info40.end());
  return file;
}

TEST_F(BmpReaderTest, Os2VersionTwoHeadersOfEveryLengthReadLikeTheirWindowsOriginal) {
  struct Case {
    const char* name;
    std::uint32_t size;
  };
  // 16 bytes end before the compression and colours-used fields: the palette
  // then has 2^bits entries, as these originals do.
  for (const Case& c :
       {Case{"bits4", 64}, Case{"bits8", 64}, Case{"bits1", 16}, Case{"netpbm_pal4", 16},
        Case{"netpbm_pal8", 36}, Case{"info40", 64}, Case{"info40", 16}, Case{"rle8", 64}}) {
    SCOPED_TRACE(testing::Message() << c.name << " with " << c.size << " bytes");
    RasterImage image;
    const Bytes file = WithOs2Header(ReadBytes(TestPicture(std::string(c.name) + ".bmp")), c.size);
    ASSERT_EQ(LoadBytes(file, image), 1);
    EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), ReferenceRgba(c.name), image.Width()), "");
  }
}

// Moves the masks of a file with a longer header behind a 40-byte header, as
// version-3 files have them (with the alpha mask: compression 6).
Bytes WithMasksAfterInfoHeader(const Bytes& longer, bool withAlpha) {
  const std::uint32_t oldSize = GetU32(longer, kHeaderSize);
  const std::uint32_t maskBytes = withAlpha ? 16 : 12;
  Bytes file(longer.begin(), longer.begin() + 54);
  PutU32(file, kHeaderSize, 40);
  PutU32(file, kCompression, withAlpha ? 6 : 3);
  PutU32(file, kPixelOffset, GetU32(longer, kPixelOffset) - oldSize + 40 + maskBytes);
  file.insert(file.end(), longer.begin() + kMasks, longer.begin() + kMasks + maskBytes);
  file.insert(file.end(), longer.begin() + 14 + oldSize, longer.end());
  return file;
}

TEST_F(BmpReaderTest, MasksAfterAFortyByteHeaderReadLikeMasksInsideALongerOne) {
  for (const char* name : {"rgb565_v4", "rgb555_v5", "argb32_v5"}) {
    SCOPED_TRACE(name);
    const bool withAlpha = std::string(name) == "argb32_v5";
    RasterImage image;
    const Bytes file =
        WithMasksAfterInfoHeader(ReadBytes(TestPicture(std::string(name) + ".bmp")), withAlpha);
    ASSERT_EQ(LoadBytes(file, image), 1);
    EXPECT_EQ(image.BitsPerPixel(), withAlpha ? 32 : 24);
    EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), ReferenceRgba(name), image.Width()), "");
  }
}

TEST_F(BmpReaderTest, FiveAndSixBitChannelsRepeatTheirTopBitsAndFullValuesStayFull) {
  // Every 5-bit red and 6-bit green level in one 5-6-5 row, read back
  // against the bit patterns ImageMagick gives them (checked against its
  // decoding of the written files above): v << 3 | v >> 2, v << 2 | v >> 4.
  Bytes file = WithMasksAfterInfoHeader(ReadBytes(TestPicture("rgb565_v4.bmp")), false);
  const std::uint32_t offset = GetU32(file, kPixelOffset);
  file.resize(offset);
  PutU32(file, kWidth, 64);
  PutU32(file, kHeight, 1);
  for (std::uint32_t level = 0; level < 64; ++level) {
    const std::uint32_t word = (level % 32) << 11 | level << 5 | (31 - level % 32);
    file.push_back(static_cast<std::uint8_t>(word));
    file.push_back(static_cast<std::uint8_t>(word >> 8));
  }
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  for (std::uint32_t level = 0; level < 64; ++level) {
    SCOPED_TRACE(level);
    const std::uint8_t* pixel = image.Row(0) + level * 3;
    const std::uint32_t red = level % 32;
    EXPECT_EQ(pixel[0], (red << 3 | red >> 2));
    EXPECT_EQ(pixel[1], (level << 2 | level >> 4) & 0xFF);
    EXPECT_EQ(pixel[2], ((31 - red) << 3 | (31 - red) >> 2));
  }
  EXPECT_EQ(image.Row(0)[63 * 3 + 1], 255);
}

TEST_F(BmpReaderTest, AChannelWithoutAMaskIsZero) {
  Bytes file = ReadBytes(TestPicture("rgb565_v4.bmp"));
  PutU32(file, kMasks + 8, 0);
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  Bytes reference = ReferenceRgba("rgb565_v4");
  for (std::size_t i = 2; i < reference.size(); i += 4) reference[i] = 0;
  EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), reference, image.Width()), "");
}

TEST_F(BmpReaderTest, RunLengthPicturesReuseAnImageOnlyAfterClearingIt) {
  RasterImage image;
  ASSERT_EQ(image.Create(8, 5, 8, 4), 1);
  std::fill_n(image.PixelData(), image.ByteCount(), std::uint8_t{3});
  const std::string backing = image.BackingPath();
  ASSERT_EQ(Load(TestPicture("rle8_codes.bmp"), image), 1);
  EXPECT_EQ(image.BackingPath(), backing);
  EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), ReferenceRgba("rle8_codes"), 8), "");
}

// Broken files of every depth: refused when opened, or failing when read
// (run-length data is only checked while decoding). Either way the loader
// answers "not readable", leaves no file behind and, under the sanitizers,
// reads nothing outside its buffers.
TEST_F(BmpReaderTest, MalformedFilesOfEveryDepthAreRefusedOrFailToRead) {
  enum Stage { Refused, ReadFails };
  struct Case {
    const char* what;
    const char* source;
    Stage stage;
    void (*damage)(Bytes& file);
  };
  const Case cases[] = {
      {"palette past the end of the file", "rle8_codes", Refused,
       [](Bytes& f) { PutU32(f, kColoursUsed, 0); }},
      {"more colours than the depth has", "bits4", Refused,
       [](Bytes& f) { PutU32(f, kColoursUsed, 17); }},
      {"rows past the end of the file", "bits4", Refused, [](Bytes& f) { f.pop_back(); }},
      {"16-bit rows past the end of the file", "rgb565_v4", Refused,
       [](Bytes& f) { f.pop_back(); }},
      {"a width the rows cannot hold", "bits8", Refused, [](Bytes& f) { PutU32(f, kWidth, 41); }},
      {"a height the file cannot hold", "bits1", Refused, [](Bytes& f) { PutU32(f, kHeight, 24); }},
      {"a header cut short", "bits8", Refused, [](Bytes& f) { f.resize(40); }},
      {"a colours-used field beyond the pixel offset", "bits8", Refused,
       [](Bytes& f) { PutU32(f, kPixelOffset, 14 + 30); }},
      {"masks that are no run of bits", "rgb565_v4", Refused,
       [](Bytes& f) { PutU32(f, kMasks, 0xF801); }},
      {"a 16-bit mask beyond 16 bits", "rgb565_v4", Refused,
       [](Bytes& f) { PutU32(f, kMasks, 0x1F800); }},
      {"bit fields on a palette picture", "bits8", Refused,
       [](Bytes& f) { PutU32(f, kCompression, 3); }},
      {"RLE8 with 4 bits", "rle8_codes", Refused, [](Bytes& f) { PutU16(f, kBitCount, 4); }},
      {"RLE4 with 8 bits", "rle4_codes", Refused, [](Bytes& f) { PutU16(f, kBitCount, 8); }},
      // Windows files of 24 bits read compression 3 like 0.
      {"OS/2 Huffman coding", "info40", Refused,
       [](Bytes& f) {
         f = WithOs2Header(f, 64);
         PutU32(f, kCompression, 3);
       }},
      // Rows of 8 pixels have no padding; RLE4 rows of 9 pixels have 16
      // pixels with their padding.
      {"RLE8 run past the row", "rle8_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset)] = 9; }},
      {"RLE8 absolute run past the row", "rle8_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset) + 3] = 6; }},
      {"RLE8 delta past the picture", "rle8_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset) + 13] = 4; }},
      {"RLE8 delta past the row", "rle8_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset) + 12] = 9; }},
      {"RLE8 end of line past the last row", "rle8_codes", ReadFails,
       [](Bytes& f) {
         f.back() = 0;
         f.insert(f.end(), {3, 1});
       }},
      {"RLE8 data ending before the last row", "rle8_codes", ReadFails,
       [](Bytes& f) { f.resize(f.size() - 6); }},
      {"RLE8 absolute run cut by the end of the file", "rle8_codes", ReadFails,
       [](Bytes& f) { f.resize(GetU32(f, kPixelOffset) + 5); }},
      {"RLE4 run past the row", "rle4_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset)] = 17; }},
      {"RLE4 absolute run past the row", "rle4_codes", ReadFails,
       [](Bytes& f) { f[GetU32(f, kPixelOffset) + 9] = 17; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = ReadBytes(TestPicture(std::string(c.source) + ".bmp"));
    ASSERT_FALSE(file.empty());
    c.damage(file);
    const std::string path = MakeFile("damaged.bmp", file);
    RasterImage image;
    BmpReader reader;
    const int opened = reader.OpenRead(path.c_str(), image);
    EXPECT_EQ(opened, c.stage == Refused ? 0 : 1);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_EQ(Load(path, image), 0);
  }
}

// ---------------------------------------------------------------- refused files

TEST_F(BmpReaderTest, MasksWithoutRoomBeforeThePixelsAndUnknownCompressionsAreRefused) {
  // ImageMagick's 16-bit BMP3 file declares bit-field masks after its 40-byte
  // header, where its pixels already start.
  for (const char* name : {"bits16.bmp"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    BmpReader reader;
    EXPECT_EQ(reader.OpenRead(TestPicture(name).c_str(), image), 0);
    EXPECT_EQ(reader.Variant(), SourceVariant::None) << "a refused file leaves nothing recorded";
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_TRUE(image.IsEmpty());
  }
  // Run-length compression needs its own bit count (8 or 4); 4 and 5 (JPEG
  // and PNG inside) are not read.
  const Bytes good = ReadBytes(TestPicture("info40.bmp"));
  for (std::uint32_t compression : {1u, 2u, 4u, 5u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(compression);
    Bytes file = good;
    PutU32(file, kCompression, compression);
    EXPECT_EQ(OpensBytes(file), 0);
  }
}

TEST_F(BmpReaderTest, FilesThatAreNoBitmapsAreRefused) {
  EXPECT_EQ(Opens(TestPicture("source.ppm")), 0);
  EXPECT_EQ(Opens(FilePath("missing.bmp")), 0);
  EXPECT_EQ(Opens(files.PathText()), 0) << "a folder";
  EXPECT_EQ(OpensBytes(Bytes()), 0);
  Bytes file = ReadBytes(TestPicture("info40.bmp"));
  file[1] = 'X';
  EXPECT_EQ(OpensBytes(file), 0);
  file[0] = 'M';
  file[1] = 'B';
  EXPECT_EQ(OpensBytes(file), 0);
  RasterImage image;
  BmpReader reader;
  EXPECT_EQ(reader.OpenRead(nullptr, image), 0);
}

TEST_F(BmpReaderTest, HeaderBlocksShorterThanTheirFieldsAreRefused) {
  const Bytes info = ReadBytes(TestPicture("info40.bmp"));
  // Offsets below 18 leave no room even for the header-size field; 0 to 13
  // would make the block's length negative.
  for (std::uint32_t offset : {0u, 1u, 13u, 14u, 17u, 14u + 19u}) {
    SCOPED_TRACE(offset);
    Bytes file = info;
    PutU32(file, kPixelOffset, offset);
    EXPECT_EQ(OpensBytes(file), 0);
  }
  Bytes core = ReadBytes(TestPicture("core12.bmp"));
  PutU32(core, kPixelOffset, 14 + 11);
  EXPECT_EQ(OpensBytes(core), 0);
}

TEST_F(BmpReaderTest, PixelDataOffsetsBeyondTheFileAreRefused) {
  Bytes file = ReadBytes(TestPicture("info40.bmp"));
  const auto size = static_cast<std::uint32_t>(file.size());
  for (std::uint32_t offset : {size, size + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    PutU32(file, kPixelOffset, offset);
    EXPECT_EQ(OpensBytes(file), 0);
  }
}

TEST_F(BmpReaderTest, ZeroNegativeAndHugeDimensionsAreRefused) {
  const Bytes info = ReadBytes(TestPicture("info40.bmp"));
  struct Dimensions {
    std::uint32_t width, height;
  };
  const Dimensions bad[] = {
      {0, 23},          {0xFFFFFFFF, 23}, {0x80000000, 23}, {37, 0},
      {37, 0x80000000},  // -2^31 has no positive counterpart
      {0x7FFFFFFF, 1},  {1, 0x7FFFFFFF},  {37, 24},         {37, 0xFFFFFFE8},  // one row too many
      {65536, 65536},
  };
  for (const Dimensions& d : bad) {
    SCOPED_TRACE(testing::Message() << d.width << " x " << d.height);
    Bytes file = info;
    PutU32(file, kWidth, d.width);
    PutU32(file, kHeight, d.height);
    EXPECT_EQ(OpensBytes(file), 0);
  }
  const Bytes core = ReadBytes(TestPicture("core12.bmp"));
  for (const Dimensions& d : {Dimensions{0, 23}, Dimensions{37, 0}, Dimensions{65535, 65535}}) {
    SCOPED_TRACE(testing::Message() << "core " << d.width << " x " << d.height);
    Bytes file = core;
    PutU16(file, kCoreWidth, static_cast<std::uint16_t>(d.width));
    PutU16(file, kCoreHeight, static_cast<std::uint16_t>(d.height));
    EXPECT_EQ(OpensBytes(file), 0);
  }
}

TEST_F(BmpReaderTest, PicturesLargerThanTheEngineCanMapAreRefusedEvenWhenTheFileHoldsTheirRows) {
  // 32768 x 32768 x 3 bytes is 3 GiB; the (sparse) file does hold every row.
  Bytes header = ReadBytes(TestPicture("info40.bmp"));
  header.resize(GetU32(header, kPixelOffset));
  PutU32(header, kWidth, 32768);
  PutU32(header, kHeight, 32768);
  const std::string path = MakeFile("huge.bmp", header);
  std::error_code error;
  fs::resize_file(path, header.size() + 32768ull * 32768 * 3, error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(Opens(path), 0);
  fs::remove(path, error);
}

TEST_F(BmpReaderTest, FilesEndingInsideTheHeaderOrThePixelRowsAreRefused) {
  const Bytes file = ReadBytes(TestPicture("info40.bmp"));
  for (std::size_t length :
       {std::size_t{1}, std::size_t{13}, std::size_t{14}, std::size_t{20}, std::size_t{33},
        std::size_t{54}, std::size_t{54 + 112}, file.size() / 2, file.size() - 1}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(OpensBytes(Bytes(file.begin(), file.begin() + length)), 0);
  }
  const Bytes core = ReadBytes(TestPicture("core12.bmp"));
  EXPECT_EQ(OpensBytes(Bytes(core.begin(), core.end() - 1)), 0);
}

TEST_F(BmpReaderTest, FileThatShrinksAfterOpeningFailsToReadWithAFinalReport) {
  // 200 rows of 300 bytes: far more than stdio buffers while opening.
  Bytes file = ReadBytes(TestPicture("info40.bmp"));
  file.resize(54);
  PutU32(file, kWidth, 100);
  PutU32(file, kHeight, 200);
  file.resize(54 + 300 * 200, 0x40);
  const std::string path = MakeFile("shrinking.bmp", file);
  RasterImage image;
  BmpReader reader;
  ASSERT_EQ(reader.OpenRead(path.c_str(), image, RecordProgress), 1);
  std::error_code error;
  fs::resize_file(path, 54 + 300 * 20, error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(reader.Read(), 0);
  ASSERT_GE(progressCalls.size(), 2u);
  EXPECT_LT(progressCalls.size(), 100u) << "only rows read, then the final report";
  EXPECT_EQ(progressCalls.back().row, 199);
  EXPECT_EQ(progressCalls.back().percent, 100);
  EXPECT_EQ(reader.Read(), 0) << "a failed read closes the reader";
}

// ---------------------------------------------------------------- conventions

TEST_F(BmpReaderTest, ReadReportsEveryRowThenAFinalCall) {
  RasterImage image;
  BmpReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("info40.bmp").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  ASSERT_EQ(progressCalls.size(), 24u);
  for (int i = 0; i < 24; ++i) {
    const int row = i < 23 ? i : 22;
    EXPECT_EQ(progressCalls[i].direction, engine::kProgressReading);
    EXPECT_EQ(progressCalls[i].row, row);
    EXPECT_EQ(progressCalls[i].percent, (row + 1) * 100 / 23);
    EXPECT_EQ(progressCalls[i].reserved, 0);
  }
}

TEST_F(BmpReaderTest, ReadWithoutASuccessfulOpenFailsAndReadRunsOnlyOnce) {
  RasterImage image;
  BmpReader reader;
  EXPECT_EQ(reader.Read(), 0);
  ASSERT_EQ(reader.OpenRead(TestPicture("info40.bmp").c_str(), image), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Read(), 0);
  EXPECT_EQ(reader.Width(), 0) << "Read closes the reader";
  ASSERT_EQ(reader.OpenRead(TestPicture("info40.bmp").c_str(), image), 1);
  EXPECT_EQ(reader.OpenRead(TestPicture("bits16.bmp").c_str(), image), 0);
  EXPECT_EQ(reader.Read(), 0) << "a refused open after a good one leaves nothing to read";
}

TEST_F(BmpReaderTest, ImageOfTheSameShapeIsReusedAndOthersAreReplaced) {
  RasterImage image;
  ASSERT_EQ(image.Create(37, 23, 24, 0), 1);
  std::fill_n(image.PixelData(), image.ByteCount(), std::uint8_t{0x5A});
  const std::string backing = image.BackingPath();
  ASSERT_EQ(Load(TestPicture("info40.bmp"), image), 1);
  EXPECT_EQ(image.BackingPath(), backing);
  EXPECT_TRUE(ImageBytes(image) == ReadPpm(TestPicture("info40.ppm")).pixels);

  ASSERT_EQ(image.Create(5, 5, 8, 16), 1);
  ASSERT_EQ(Load(TestPicture("info40.bmp"), image), 1);
  EXPECT_EQ(image.Width(), 37);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.PaletteSize(), 0);
  EXPECT_TRUE(ImageBytes(image) == ReadPpm(TestPicture("info40.ppm")).pixels);
}

TEST_F(BmpReaderTest, ReadThatCannotCreateTheImageFailsWithAFinalReport) {
  RasterImage image;
  BmpReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("info40.bmp").c_str(), image, RecordProgress), 1);
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(reader.Read(), 0);
  temp.PointAt(temp.PathText());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0].row, 22);
  EXPECT_EQ(progressCalls[0].percent, 100);
  EXPECT_TRUE(image.IsEmpty());
}

TEST_F(BmpReaderTest, EveryPathReleasesTheSourceFile) {
  // Windows refuses to rename a file that is still open, so a leaked handle
  // shows up there as a failed rename.
  const Bytes good = ReadBytes(TestPicture("info40.bmp"));
  const Bytes refused = ReadBytes(TestPicture("bits16.bmp"));
  RasterImage image;
  std::error_code error;
  {
    BmpReader reader;
    const std::string path = MakeFile("read.bmp", good);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    fs::rename(path, FilePath("read-moved.bmp"), error);
    EXPECT_FALSE(error) << "after a complete read";
  }
  {
    BmpReader reader;
    const std::string path = MakeFile("refused.bmp", refused);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 0);
    fs::rename(path, FilePath("refused-moved.bmp"), error);
    EXPECT_FALSE(error) << "after a refused open";
  }
  {
    BmpReader reader;
    const std::string path = MakeFile("closed.bmp", good);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    reader.Close();
    fs::rename(path, FilePath("closed-moved.bmp"), error);
    EXPECT_FALSE(error) << "after Close without reading";
  }
}

}  // namespace
}  // namespace engine_test
