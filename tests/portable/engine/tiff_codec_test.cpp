// The TIFF codec: reading files written by libtiff's tools, ImageMagick and
// netpbm (tests/testdata/make_tiff.sh) against independent reference pixels,
// and writing files whose directory and strips the test parses itself.
#include "engine/tiff_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/codec_conventions.h"
#include "base/exif_orientation.h"
#include "engine/mapped_file.h"
#include "engine/picture_loader.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"
#include "unicode_file_names.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace engine_test {
namespace {

using engine::RasterImage;
using engine::SourceVariant;
using engine::TiffCodec;

using Bytes = std::vector<std::uint8_t>;

std::string TestDataPath(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/tiff/" + name;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct PictureSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

PictureSize ReadPictureSize(const std::string& name) {
  std::ifstream in(TestDataPath(name + ".size"));
  PictureSize size;
  in >> size.width >> size.height;
  return size;
}

Bytes PixelBytes(const RasterImage& image) {
  const std::uint8_t* data = image.PixelData();
  return data == nullptr ? Bytes() : Bytes(data, data + image.ByteCount());
}

// Largest difference of two equally long byte strings; 256 when the lengths differ.
int LargestDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    largest = std::max(largest, std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i])));
  }
  return largest;
}

// Where the first differing byte lies, for failure messages.
std::string FirstDifference(const Bytes& actual, const Bytes& expected, std::int32_t width) {
  if (actual.size() != expected.size()) {
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      const std::size_t pixel = i / 3;
      std::ostringstream text;
      text << "first difference at row " << pixel / width << ", column " << pixel % width
           << ", channel " << i % 3 << ": " << int(actual[i]) << " instead of " << int(expected[i]);
      return text.str();
    }
  }
  return "none";
}

// The first directory of a little-endian TIFF file, parsed without libtiff:
// tag -> values (SHORT and LONG fields only).
struct ParsedTiff {
  bool littleEndian = false;
  std::map<std::uint16_t, std::vector<std::uint32_t>> fields;

  std::uint32_t One(std::uint16_t tag) const {
    auto found = fields.find(tag);
    return found == fields.end() || found->second.size() != 1 ? 0xDEADBEEF : found->second[0];
  }
  bool Has(std::uint16_t tag) const { return fields.count(tag) != 0; }
};

std::uint32_t LittleEndian(const Bytes& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(at + i);
  return value;
}

ParsedTiff ParseFirstDirectory(const Bytes& file) {
  ParsedTiff parsed;
  if (file.size() < 8 || file[0] != 'I' || file[1] != 'I' || LittleEndian(file, 2, 2) != 42) {
    return parsed;
  }
  parsed.littleEndian = true;
  const std::size_t directory = LittleEndian(file, 4, 4);
  const std::uint32_t entries = LittleEndian(file, directory, 2);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + 12 * i;
    const auto tag = static_cast<std::uint16_t>(LittleEndian(file, entry, 2));
    const std::uint32_t type = LittleEndian(file, entry + 2, 2);
    const std::uint32_t count = LittleEndian(file, entry + 4, 4);
    const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
    if (size == 0) {
      parsed.fields[tag] = {};
      continue;
    }
    const std::size_t at = count * size <= 4 ? entry + 8 : LittleEndian(file, entry + 8, 4);
    std::vector<std::uint32_t> values;
    for (std::uint32_t n = 0; n < count; ++n)
      values.push_back(LittleEndian(file, at + n * size, size));
    parsed.fields[tag] = values;
  }
  return parsed;
}

// The pixel bytes of all strips, in order.
Bytes StripData(const Bytes& file, const ParsedTiff& parsed) {
  Bytes data;
  const auto& offsets = parsed.fields.at(273);
  const auto& counts = parsed.fields.at(279);
  for (std::size_t i = 0; i < offsets.size() && i < counts.size(); ++i) {
    data.insert(data.end(), file.begin() + offsets[i], file.begin() + offsets[i] + counts[i]);
  }
  return data;
}

// A 24-bit picture whose channels all vary, neighbours differing.
void MakeColourPicture(RasterImage& image, std::int32_t width, std::int32_t height) {
  ASSERT_EQ(image.Create(width, height, 24, 0), 1);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* pixel = image.Row(y);
    for (std::int32_t x = 0; x < width; ++x, pixel += 3) {
      pixel[0] = static_cast<std::uint8_t>(x * 5 + y);
      pixel[1] = static_cast<std::uint8_t>(y * 7 + x * 3);
      pixel[2] = static_cast<std::uint8_t>((x * y) ^ 0x5A);
    }
  }
}

// Every test runs with a private temporary folder that must be empty at the
// end; written files go to the files folder beside it.
class TiffCodecTest : public ReaderTest {};

// ---------------------------------------------------------------- reading

struct ReadCase {
  const char* name;
  int tolerance;  // largest channel difference allowed (JPEG decoders may differ)
};

std::ostream& operator<<(std::ostream& out, const ReadCase& readCase) {
  return out << readCase.name;
}

class TiffReadTest : public TiffCodecTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(TiffReadTest, DecodesToTheReferencePixels) {
  const std::string name = GetParam().name;
  const PictureSize size = ReadPictureSize(name);
  ASSERT_GT(size.width, 0) << "no reference for " << name << " (make_tiff.sh did not run?)";
  const Bytes reference = ReadWholeFile(TestDataPath(name + ".rgb"));
  ASSERT_EQ(reference.size(), std::size_t(size.width) * size.height * 3);

  RasterImage image;
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath(name + ".tif").c_str(), image, nullptr), 1);
  EXPECT_TRUE(codec.IsReading());
  EXPECT_EQ(codec.Variant(), SourceVariant::TiffRgb24);
  EXPECT_EQ(codec.BitsPerPixel(), 32);
  EXPECT_EQ(codec.Width(), std::uint32_t(size.width));
  EXPECT_EQ(codec.Height(), std::uint32_t(size.height));
  EXPECT_EQ(codec.Path(), TestDataPath(name + ".tif"));

  ASSERT_EQ(codec.Read(), 1);
  EXPECT_FALSE(codec.IsReading()) << "Read closes the codec";
  EXPECT_EQ(image.Width(), size.width);
  EXPECT_EQ(image.Height(), size.height);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.PaletteSize(), 0);
  const Bytes pixels = PixelBytes(image);
  if (GetParam().tolerance == 0) {
    EXPECT_TRUE(pixels == reference) << FirstDifference(pixels, reference, size.width);
  } else {
    EXPECT_LE(LargestDifference(pixels, reference), GetParam().tolerance);
  }
  EXPECT_TRUE(temp.Entries().size() == 1) << "only the image's own backing file may remain";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffReadTest,
    ::testing::Values(
        // The same RGB pixels under each compression and organisation.
        ReadCase{"none", 0}, ReadCase{"lzw", 0}, ReadCase{"lzw_predictor", 0},
        ReadCase{"packbits", 0}, ReadCase{"big_endian", 0}, ReadCase{"planar", 0},
        ReadCase{"tiled", 0}, ReadCase{"jpeg_ycbcr", 2}, ReadCase{"jpeg_rgb", 2},
        // Bilevel: uncompressed, CCITT G3 1-D and 2-D, G4, and a fax2tiff file.
        ReadCase{"mono", 0}, ReadCase{"g3", 0}, ReadCase{"g3_2d", 0}, ReadCase{"g4", 0},
        ReadCase{"fax", 0},
        // Grey, 16 bits per sample, palettes.
        ReadCase{"grey", 0}, ReadCase{"tiff2bw", 0}, ReadCase{"grey16", 0}, ReadCase{"rgb16", 0},
        ReadCase{"palette8", 0}, ReadCase{"palette_few", 0},
        // Deflate under both tags, with the predictor, and ImageMagick's.
        ReadCase{"deflate", 0}, ReadCase{"deflate_old_tag", 0}, ReadCase{"deflate_predictor", 0},
        ReadCase{"deflate_im", 0},
        // CMYK: libtiff and ImageMagick round the conversion differently.
        ReadCase{"cmyk", 1}, ReadCase{"cmyk_lzw", 1},
        // Only the first page; rows stored bottom first stay as stored.
        ReadCase{"pages", 0}, ReadCase{"bottom_left", 0}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// Old-style JPEG samples from libtiff's source package (make_tiff.sh copies
// them when the tree's libtiff source is at hand).
TEST_F(TiffCodecTest, OldStyleJpegDecodesLikeImageMagick) {
  for (const char* name :
       {"ojpeg_chewey_subsamp21_multi_strip", "ojpeg_zackthecat_subsamp22_single_strip"}) {
    SCOPED_TRACE(name);
    const PictureSize size = ReadPictureSize(name);
    if (size.width == 0) GTEST_SKIP() << "libtiff's source package was not found";
    RasterImage image;
    TiffCodec codec;
    ASSERT_EQ(codec.OpenRead(TestDataPath(std::string(name) + ".tif").c_str(), image, nullptr), 1);
    ASSERT_EQ(codec.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_LE(LargestDifference(PixelBytes(image),
                                ReadWholeFile(TestDataPath(std::string(name) + ".rgb"))),
              2);
  }
}

struct AlphaCase {
  const char* name;
  int tolerance;  // of the colours where alpha is not 0
};

// A picture with an alpha sample becomes 32 bits (alpha, red, green, blue)
// with un-premultiplied colours: unassociated alpha exactly as stored,
// associated alpha divided out as ImageMagick does (within rounding).
TEST_F(TiffCodecTest, AlphaBecomes32BitsWithUnpremultipliedColours) {
  const Bytes stored = ReadWholeFile(TestDataPath("stored.rgba"));
  ASSERT_EQ(stored.size(), 61u * 37u * 4u);
  for (const AlphaCase& alphaCase :
       {AlphaCase{"alpha_unassociated", 0}, AlphaCase{"alpha_associated", 1},
        AlphaCase{"im_alpha_unassociated", 0}, AlphaCase{"im_alpha_associated", 1}}) {
    const std::string name = alphaCase.name;
    SCOPED_TRACE(name);
    const Bytes reference = ReadWholeFile(TestDataPath(name + ".rgba"));
    ASSERT_EQ(reference.size(), stored.size());
    RasterImage image;
    TiffCodec codec;
    ASSERT_EQ(codec.OpenRead(TestDataPath(name + ".tif").c_str(), image, nullptr), 1);
    ASSERT_EQ(codec.Read(), 1);
    ASSERT_EQ(image.BitsPerPixel(), 32);
    const Bytes pixels = PixelBytes(image);
    int largest = 0;
    bool someTransparency = false;
    for (std::size_t pixel = 0; pixel < reference.size() / 4; ++pixel) {
      const std::uint8_t* argb = &pixels[pixel * 4];
      const std::uint8_t* rgba = &reference[pixel * 4];
      ASSERT_EQ(argb[0], rgba[3]) << "alpha of pixel " << pixel;
      someTransparency = someTransparency || (rgba[3] > 0 && rgba[3] < 255);
      if (rgba[3] == 0) continue;
      for (int channel = 0; channel < 3; ++channel) {
        largest = std::max(largest, std::abs(argb[1 + channel] - rgba[channel]));
      }
    }
    EXPECT_TRUE(someTransparency);
    EXPECT_LE(largest, alphaCase.tolerance);
  }
  // The stored bytes of the raw2tiff file, not premultiplied again.
  RasterImage image;
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath("alpha_unassociated.tif").c_str(), image, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  Bytes argb;
  for (std::size_t i = 0; i < stored.size(); i += 4) {
    argb.insert(argb.end(), {stored[i + 3], stored[i], stored[i + 1], stored[i + 2]});
  }
  EXPECT_TRUE(PixelBytes(image) == argb);
}

// The reader used to let libtiff turn rows stored bottom first (Orientation
// 4) upright; now it hands over the rows as stored and the loader applies
// every orientation, once (libtiff's flips covered only half of them).
TEST_F(TiffCodecTest, RowsComeAsStoredAndTheLoaderTurnsThemUpright) {
  const std::string path = TestDataPath("bottom_left.tif");
  const Bytes file = ReadWholeFile(path);
  ASSERT_EQ(TiffOrientation(file.data(), file.size()), 4);
  RasterImage stored;
  ASSERT_EQ(engine_test::Load(TiffCodec(), path, stored), 1);
  EXPECT_TRUE(PixelBytes(stored) == ReadWholeFile(TestDataPath("bottom_left.rgb")));
  RasterImage upright;
  ASSERT_EQ(engine::LoadPicture(path.c_str(), upright), engine::ResultOk);
  EXPECT_TRUE(PixelBytes(upright) == ReadWholeFile(TestDataPath("bottom_left_upright.rgb")));
}

TEST_F(TiffCodecTest, ReadingReportsEveryRowThenAFinalCall) {
  RasterImage image;
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath("lzw.tif").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "the open step reports nothing";
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressReading, 37));
}

TEST_F(TiffCodecTest, ReadingReplacesAnImageOfAnotherLayout) {
  RasterImage image;
  ASSERT_EQ(image.Create(5, 4, 8, 16), 1);
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath("none.tif").c_str(), image, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_EQ(image.Width(), 61);
  EXPECT_EQ(image.Height(), 37);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.PaletteSize(), 0);
  EXPECT_TRUE(PixelBytes(image) == ReadWholeFile(TestDataPath("none.rgb")));

  // A second read into the now fitting image gives the same pixels again.
  ASSERT_EQ(codec.OpenRead(TestDataPath("packbits.tif").c_str(), image, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_TRUE(PixelBytes(image) == ReadWholeFile(TestDataPath("none.rgb")));
}

// A compression the library leaves out is recognised as TIFF, then fails.
TEST_F(TiffCodecTest, ZstdCompressionIsAcceptedByTheProbeAndFailsInRead) {
  RasterImage image;
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath("zstd.tif").c_str(), image, RecordProgress), 1);
  EXPECT_EQ(codec.Read(), 0);
  EXPECT_FALSE(codec.IsReading());
  // No row was decoded, yet the final call comes.
  EXPECT_EQ(progressCalls, (std::vector<ProgressCall>{{engine::kProgressReading, 100, 36, 0}}));
  EXPECT_EQ(codec.Read(), 0) << "a failed codec stays failed";
}

// The decoding buffer holds 4 bytes a pixel; sizes beyond what can be mapped
// are refused before any storage is made, including a size that is exactly
// 2^32 bytes and would wrap to 0 in 32-bit arithmetic.
TEST_F(TiffCodecTest, PicturesTooLargeToDecodeAreRefusedBeforeAllocating) {
  for (const auto& [name, width, height] : {std::make_tuple("oversize.tif", 30000u, 20000u),
                                            std::make_tuple("wrapping_size.tif", 65536u, 16384u)}) {
    SCOPED_TRACE(name);
    progressCalls.clear();
    RasterImage image;
    TiffCodec codec;
    ASSERT_EQ(codec.OpenRead(TestDataPath(name).c_str(), image, RecordProgress), 1);
    EXPECT_EQ(codec.Width(), width);
    EXPECT_EQ(codec.Height(), height);
    EXPECT_EQ(codec.Read(), 0);
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_TRUE(temp.Entries().empty());
    EXPECT_EQ(progressCalls,
              (std::vector<ProgressCall>{
                  {engine::kProgressReading, 100, static_cast<std::int32_t>(height) - 1, 0}}));
  }
}

TEST_F(TiffCodecTest, ProbeRejectsWhatIsNotAReadableTiff) {
  const std::string folder = temp.PathText();
  const std::string candidates[] = {TestDataPath("text.tif"),
                                    TestDataPath("truncated.tif"),
                                    TestDataPath("none.rgb"),
                                    TestDataPath("missing.tif"),
                                    folder,
                                    ""};
  for (const auto& candidate : candidates) {
    SCOPED_TRACE(candidate);
    RasterImage image;
    TiffCodec codec;
    EXPECT_EQ(codec.OpenRead(candidate.c_str(), image, RecordProgress), 0);
    EXPECT_FALSE(codec.IsReading());
    EXPECT_EQ(codec.Variant(), SourceVariant::None);
    EXPECT_EQ(codec.Read(), 0);
    EXPECT_TRUE(image.IsEmpty());
  }
  TiffCodec codec;
  RasterImage image;
  EXPECT_EQ(codec.OpenRead(nullptr, image, nullptr), 0);
  EXPECT_TRUE(progressCalls.empty()) << "without an accepted file there is nothing to report";
}

// libtiff would print its errors and warnings on stderr by default.
TEST_F(TiffCodecTest, LibraryMessagesAreNeverPrinted) {
  ::testing::internal::CaptureStderr();
  for (const char* name : {"zstd.tif", "text.tif", "truncated.tif", "missing.tif"}) {
    RasterImage image;
    TiffCodec codec;
    if (codec.OpenRead(TestDataPath(name).c_str(), image, nullptr)) codec.Read();
  }
  RasterImage picture;
  MakeColourPicture(picture, 2, 2);
  TiffCodec writer;
  writer.OpenWrite((files.File("missing") / "x.tif").string().c_str(), &picture, 24, nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// ---------------------------------------------------------------- writing

// The fields every file of the writer carries.
void ExpectWriterLayout(const ParsedTiff& parsed, std::int32_t width, std::int32_t height,
                        std::uint32_t samples) {
  EXPECT_TRUE(parsed.littleEndian) << "byte order II";
  EXPECT_EQ(parsed.One(256), std::uint32_t(width));
  EXPECT_EQ(parsed.One(257), std::uint32_t(height));
  EXPECT_EQ(parsed.fields.at(258), std::vector<std::uint32_t>(samples, 8));
  EXPECT_EQ(parsed.One(259), 1u) << "uncompressed";
  EXPECT_EQ(parsed.One(274), 1u) << "orientation top left";
  EXPECT_EQ(parsed.One(277), samples);
  EXPECT_EQ(parsed.One(284), 1u) << "contiguous samples";
  EXPECT_FALSE(parsed.Has(266)) << "standard fill order, no FillOrder field needed";
  // libtiff's default strip: about 8 KiB of rows, at least one row.
  const std::uint32_t rowBytes = std::uint32_t(width) * samples;
  const std::uint32_t rowsPerStrip = std::max(1u, 8192u / rowBytes);
  EXPECT_EQ(parsed.One(278), rowsPerStrip);
  EXPECT_EQ(parsed.fields.at(273).size(),
            (std::uint32_t(height) + rowsPerStrip - 1) / rowsPerStrip);
}

TEST_F(TiffCodecTest, RgbOutputStoresTheExactPixelsUncompressedInDefaultStrips) {
  RasterImage picture;
  MakeColourPicture(picture, 200, 100);  // 600-byte rows: 13 rows a strip, 8 strips
  const std::string destination = FilePath("rgb.tif");

  TiffCodec writer;
  ASSERT_EQ(writer.OpenWrite(destination.c_str(), &picture, 24, RecordProgress), 1);
  EXPECT_TRUE(writer.IsWriting());
  EXPECT_EQ(writer.Variant(), SourceVariant::TiffRgb24);
  EXPECT_EQ(writer.BitsPerPixel(), 24);
  EXPECT_FALSE(fs::exists(destination)) << "nothing appears before the picture is complete";
  ASSERT_EQ(writer.Write(), 1);
  EXPECT_FALSE(writer.IsWriting());
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressWriting, 100));
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"rgb.tif"});

  const Bytes file = ReadWholeFile(destination);
  const ParsedTiff parsed = ParseFirstDirectory(file);
  ExpectWriterLayout(parsed, 200, 100, 3);
  EXPECT_EQ(parsed.One(262), 2u) << "photometric RGB";
  EXPECT_FALSE(parsed.Has(320)) << "no colour map";
  EXPECT_TRUE(StripData(file, parsed) == PixelBytes(picture));

  // Our own reader gives the same picture back.
  RasterImage readBack;
  TiffCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), readBack, nullptr), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(PixelBytes(readBack) == PixelBytes(picture));
}

TEST_F(TiffCodecTest, RoundTripOfAFileWrittenByAnotherProgramIsExact) {
  RasterImage picture;
  TiffCodec codec;
  ASSERT_EQ(codec.OpenRead(TestDataPath("lzw_predictor.tif").c_str(), picture, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  const std::string destination = FilePath("copy.tif");
  ASSERT_EQ(codec.OpenWrite(destination.c_str(), &picture, 24, nullptr), 1);
  ASSERT_EQ(codec.Write(), 1);

  RasterImage readBack;
  ASSERT_EQ(codec.OpenRead(destination.c_str(), readBack, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_TRUE(PixelBytes(readBack) == ReadWholeFile(TestDataPath("none.rgb")));
  const Bytes file = ReadWholeFile(destination);
  ExpectWriterLayout(ParseFirstDirectory(file), 61, 37, 3);
}

// 8 bits: grey levels (306 R + 601 G + 117 B) >> 10 behind a grey-ramp colour map.
TEST_F(TiffCodecTest, PaletteOutputStoresGreyLevelsWithAGreyRampColourMap) {
  RasterImage picture;
  MakeColourPicture(picture, 150, 120);  // 150-byte rows: 54 rows a strip, 3 strips
  const std::string destination = FilePath("grey.tif");
  TiffCodec writer;
  ASSERT_EQ(writer.OpenWrite(destination.c_str(), &picture, 8, RecordProgress), 1);
  EXPECT_EQ(writer.Variant(), SourceVariant::TiffPalette8);
  EXPECT_EQ(writer.BitsPerPixel(), 8);
  ASSERT_EQ(writer.Write(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressWriting, 120));

  Bytes greyLevels;
  Bytes greyRgb;
  const Bytes colour = PixelBytes(picture);
  for (std::size_t i = 0; i < colour.size(); i += 3) {
    const auto grey = static_cast<std::uint8_t>(
        (306 * colour[i] + 601 * colour[i + 1] + 117 * colour[i + 2]) >> 10);
    greyLevels.push_back(grey);
    greyRgb.insert(greyRgb.end(), {grey, grey, grey});
  }

  const Bytes file = ReadWholeFile(destination);
  const ParsedTiff parsed = ParseFirstDirectory(file);
  ExpectWriterLayout(parsed, 150, 120, 1);
  EXPECT_EQ(parsed.One(262), 3u) << "photometric palette";
  ASSERT_TRUE(parsed.Has(320));
  const auto& colourMap = parsed.fields.at(320);
  ASSERT_EQ(colourMap.size(), 768u);
  for (std::uint32_t i = 0; i < 256; ++i) {
    EXPECT_EQ(colourMap[i], i * 256) << "red " << i;
    EXPECT_EQ(colourMap[256 + i], i * 256) << "green " << i;
    EXPECT_EQ(colourMap[512 + i], i * 256) << "blue " << i;
  }
  EXPECT_TRUE(StripData(file, parsed) == greyLevels);

  RasterImage readBack;
  TiffCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), readBack, nullptr), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(PixelBytes(readBack) == greyRgb);
}

// Other layouts are converted first: a paletted picture to grey for 8 bits,
// grey and 32-bit pictures to RGB for 24 bits.
TEST_F(TiffCodecTest, OtherLayoutsAreConvertedBeforeWriting) {
  RasterImage paletted;
  ASSERT_EQ(paletted.Create(4, 2, 8, 3), 1);
  const std::uint8_t colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {10, 20, 200}};
  for (int i = 0; i < 3; ++i) {
    paletted.PaletteEntries()[i].red = colours[i][0];
    paletted.PaletteEntries()[i].green = colours[i][1];
    paletted.PaletteEntries()[i].blue = colours[i][2];
  }
  const std::uint8_t indices[8] = {0, 1, 2, 0, 2, 2, 1, 0};
  std::copy(std::begin(indices), std::end(indices), paletted.PixelData());

  TiffCodec codec;
  ASSERT_EQ(codec.OpenWrite(FilePath("paletted.tif").c_str(), &paletted, 8, nullptr), 1);
  ASSERT_EQ(codec.Write(), 1);
  Bytes expectedGrey;
  for (std::uint8_t index : indices) {
    expectedGrey.push_back(engine::GreyOf(colours[index][0], colours[index][1], colours[index][2]));
  }
  Bytes file = ReadWholeFile(FilePath("paletted.tif"));
  EXPECT_TRUE(StripData(file, ParseFirstDirectory(file)) == expectedGrey);

  RasterImage grey;
  ASSERT_EQ(grey.Create(3, 1, 8, 0), 1);
  grey.PixelData()[0] = 0;
  grey.PixelData()[1] = 77;
  grey.PixelData()[2] = 255;
  ASSERT_EQ(codec.OpenWrite(FilePath("grey.tif").c_str(), &grey, 24, nullptr), 1);
  ASSERT_EQ(codec.Write(), 1);
  file = ReadWholeFile(FilePath("grey.tif"));
  EXPECT_TRUE(StripData(file, ParseFirstDirectory(file)) ==
              (Bytes{0, 0, 0, 77, 77, 77, 255, 255, 255}));

  RasterImage argb;
  ASSERT_EQ(argb.Create(2, 1, 32, 0), 1);
  const std::uint8_t argbPixels[8] = {9, 1, 2, 3, 255, 250, 128, 4};
  std::copy(std::begin(argbPixels), std::end(argbPixels), argb.PixelData());
  ASSERT_EQ(codec.OpenWrite(FilePath("argb.tif").c_str(), &argb, 24, nullptr), 1);
  ASSERT_EQ(codec.Write(), 1);
  file = ReadWholeFile(FilePath("argb.tif"));
  const ParsedTiff parsed = ParseFirstDirectory(file);
  EXPECT_EQ(parsed.One(262), 2u);
  EXPECT_TRUE(StripData(file, parsed) == (Bytes{1, 2, 3, 250, 128, 4}));
}

TEST_F(TiffCodecTest, OpenWriteRefusesBadArgumentsWithoutCreatingFiles) {
  RasterImage picture;
  MakeColourPicture(picture, 3, 3);
  RasterImage empty;
  TiffCodec codec;
  const std::string destination = FilePath("bad.tif");
  for (std::int32_t bits : {0, 1, 16, 32}) {
    EXPECT_EQ(codec.OpenWrite(destination.c_str(), &picture, bits, RecordProgress), 0) << bits;
  }
  EXPECT_EQ(codec.OpenWrite(destination.c_str(), &empty, 24, RecordProgress), 0);
  EXPECT_EQ(codec.OpenWrite(destination.c_str(), nullptr, 24, RecordProgress), 0);
  EXPECT_EQ(codec.OpenWrite(nullptr, &picture, 24, RecordProgress), 0);
  EXPECT_EQ(codec.OpenWrite("", &picture, 24, RecordProgress), 0);
  EXPECT_FALSE(codec.IsWriting());
  EXPECT_EQ(codec.Variant(), SourceVariant::None);
  EXPECT_EQ(codec.Write(), 0) << "nothing was opened";
  EXPECT_TRUE(files.Entries().empty());
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(TiffCodecTest, DestinationInAMissingFolderFailsAndLeavesNoFile) {
  RasterImage picture;
  MakeColourPicture(picture, 4, 4);
  const std::string destination = (files.File("missing") / "out.tif").string();
  TiffCodec codec;
  EXPECT_EQ(codec.OpenWrite(destination.c_str(), &picture, 24, nullptr), 0);
  EXPECT_EQ(codec.Write(), 0);
  EXPECT_FALSE(fs::exists(files.File("missing")));
  EXPECT_TRUE(files.Entries().empty());
}

// The writer needs temporary storage to convert a 32-bit picture; without a
// usable temporary folder Write fails, and an earlier file survives intact.
TEST_F(TiffCodecTest, FailedWriteLeavesAnEarlierDestinationUntouched) {
  const std::string destination = FilePath("kept.tif");
  {
    std::ofstream earlier(destination, std::ios::binary);
    earlier << "earlier file";
  }
  RasterImage picture;
  ASSERT_EQ(picture.Create(6, 5, 32, 0), 1);
  TiffCodec codec;
  ASSERT_EQ(codec.OpenWrite(destination.c_str(), &picture, 24, RecordProgress), 1);
  temp.PointAt((temp.Path() / "no such folder").string());
  EXPECT_EQ(codec.Write(), 0);
  temp.PointAt(temp.PathText());
  EXPECT_FALSE(codec.IsWriting());
  const Bytes kept = ReadWholeFile(destination);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier file");
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"kept.tif"});
  EXPECT_EQ(progressCalls, (std::vector<ProgressCall>{{engine::kProgressWriting, 100, 4, 0}}));
}

TEST_F(TiffCodecTest, ClosingBeforeWriteLeavesNoFile) {
  RasterImage picture;
  MakeColourPicture(picture, 4, 4);
  const std::string destination = FilePath("never.tif");
  {
    TiffCodec codec;
    ASSERT_EQ(codec.OpenWrite(destination.c_str(), &picture, 24, nullptr), 1);
    EXPECT_FALSE(files.Entries().empty()) << "the temporary output file exists while writing";
    codec.Close();
    EXPECT_TRUE(files.Entries().empty());
    ASSERT_EQ(codec.OpenWrite(destination.c_str(), &picture, 8, nullptr), 1);
  }  // destroyed while open
  EXPECT_TRUE(files.Entries().empty());
}

// Paths are UTF-8 on Windows, opened through libtiff's wide open; natively
// they are bytes. The name on disk is checked with the compiler's UTF-16.
TEST_F(TiffCodecTest, UnicodeFileNamesAreWrittenAndRead) {
  RasterImage picture;
  MakeColourPicture(picture, 7, 5);
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    const std::string destination = files.PathText() + kNativeSeparator + name.utf8 + ".tif";
    TiffCodec codec;
    ASSERT_EQ(codec.OpenWrite(destination.c_str(), &picture, 24, nullptr), 1);
    ASSERT_EQ(codec.Write(), 1);
    EXPECT_TRUE(engine::PathExists(destination.c_str()));
#ifdef _WIN32
    const std::wstring wide = files.Path().wstring() + L"\\" + name.wide + L".tif";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the file is not under the name's own characters";
#endif
    RasterImage readBack;
    ASSERT_EQ(codec.OpenRead(destination.c_str(), readBack, nullptr), 1);
    ASSERT_EQ(codec.Read(), 1);
    EXPECT_TRUE(PixelBytes(readBack) == PixelBytes(picture));
    codec.Close();
    EXPECT_TRUE(engine::RemoveFile(destination.c_str()));
    EXPECT_TRUE(files.Entries().empty());
  }
}

}  // namespace
}  // namespace engine_test
