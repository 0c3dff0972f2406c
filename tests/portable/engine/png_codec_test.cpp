// PngCodec against pictures written by netpbm and ImageMagick
// (tests/testdata/make_png.sh), whose pixels netpbm's pngtopam decoded
// independently into NAME.pam; and the writer's files taken apart chunk by
// chunk, read back, and (natively) decoded again by pngtopam.
#include "engine/png_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "engine/codec_conventions.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine {
namespace {

namespace fs = std::filesystem;
using engine_test::ProgressCall;
using engine_test::progressCalls;
using engine_test::RecordProgress;

std::string DataPath(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/png/" + name;
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A netpbm picture of maxval 255: P5, P6 or P7 (PAM).
struct Netpbm {
  int width = 0;
  int height = 0;
  int depth = 0;  // samples per pixel
  std::vector<std::uint8_t> samples;
  const std::uint8_t* Pixel(int x, int y) const {
    return samples.data() + (static_cast<std::size_t>(y) * width + x) * depth;
  }
};

bool ParseNetpbm(const std::vector<std::uint8_t>& bytes, Netpbm& picture) {
  std::string text(bytes.begin(), bytes.end());
  std::size_t offset = 0;
  int maxval = 0;
  if (text.compare(0, 2, "P7") == 0) {
    const std::size_t end = text.find("ENDHDR\n");
    if (end == std::string::npos) return false;
    std::istringstream header(text.substr(0, end));
    std::string key;
    while (header >> key) {
      if (key == "WIDTH") header >> picture.width;
      if (key == "HEIGHT") header >> picture.height;
      if (key == "DEPTH") header >> picture.depth;
      if (key == "MAXVAL") header >> maxval;
    }
    offset = end + 7;
  } else if (text.compare(0, 2, "P5") == 0 || text.compare(0, 2, "P6") == 0) {
    picture.depth = text[1] == '5' ? 1 : 3;
    std::istringstream header(text.substr(2, 64));
    header >> picture.width >> picture.height >> maxval;
    offset = 2 + static_cast<std::size_t>(header.tellg()) + 1;
  } else {
    return false;
  }
  const std::size_t count =
      static_cast<std::size_t>(picture.width) * picture.height * picture.depth;
  if (maxval != 255 || offset + count > bytes.size()) return false;
  picture.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                         bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
  return true;
}

Netpbm Reference(const std::string& name) {
  Netpbm picture;
  EXPECT_TRUE(ParseNetpbm(FileBytes(DataPath(name + ".pam")), picture)) << name << ".pam";
  return picture;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool crcValid = false;
};

// The chunks of a PNG file; empty when the signature is wrong. A chunk that
// runs past the end of the file ends the list with type "(cut)".
std::vector<Chunk> ParseChunks(const std::vector<std::uint8_t>& bytes) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<Chunk> chunks;
  if (bytes.size() < 8 || !std::equal(kSignature, kSignature + 8, bytes.begin())) return chunks;
  std::size_t at = 8;
  while (at < bytes.size()) {
    if (bytes.size() - at < 12) {
      chunks.push_back({"(cut)", {}, false});
      break;
    }
    const std::uint32_t length = BigEndian32(&bytes[at]);
    if (length > bytes.size() - at - 12) {
      chunks.push_back({"(cut)", {}, false});
      break;
    }
    Chunk chunk;
    chunk.type.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 8));
    chunk.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    chunk.crcValid = Crc32(&bytes[at + 4], length + 4) == BigEndian32(&bytes[at + 8 + length]);
    chunks.push_back(chunk);
    at += 12 + length;
  }
  return chunks;
}

struct Ihdr {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = -1;
  int colourType = -1;
  int compression = -1;
  int filter = -1;
  int interlace = -1;
  int paletteEntries = 0;  // from PLTE
};

Ihdr HeaderOf(const std::vector<Chunk>& chunks) {
  Ihdr header;
  for (const Chunk& chunk : chunks) {
    if (chunk.type == "IHDR" && chunk.data.size() == 13) {
      header.width = BigEndian32(&chunk.data[0]);
      header.height = BigEndian32(&chunk.data[4]);
      header.bitDepth = chunk.data[8];
      header.colourType = chunk.data[9];
      header.compression = chunk.data[10];
      header.filter = chunk.data[11];
      header.interlace = chunk.data[12];
    }
    if (chunk.type == "PLTE") header.paletteEntries = static_cast<int>(chunk.data.size() / 3);
  }
  return header;
}

Ihdr HeaderOfFile(const std::string& path) {
  return HeaderOf(ParseChunks(FileBytes(path)));
}

// The RGB colour (and alpha, 255 when there is none) of an image's pixel.
struct Colour {
  int red, green, blue, alpha;
};
Colour ColourAt(const RasterImage& image, int x, int y) {
  const std::uint8_t* pixel = image.Row(y) + static_cast<std::ptrdiff_t>(x) * image.BytesPerPixel();
  switch (image.BitsPerPixel()) {
    case 8:
      if (image.PaletteSize() == 0) return {pixel[0], pixel[0], pixel[0], 255};
      if (pixel[0] >= image.PaletteSize()) return {-1, -1, -1, -1};
      {
        const PaletteEntry& entry = image.PaletteEntries()[pixel[0]];
        return {entry.red, entry.green, entry.blue, 255};
      }
    case 24:
      return {pixel[0], pixel[1], pixel[2], 255};
    case 32:
      return {pixel[1], pixel[2], pixel[3], pixel[0]};
    default:
      return {-1, -1, -1, -1};
  }
}

// Compares an image with a reference decoded by pngtopam: grey references
// (1 or 2 samples) against the grey level, colour ones (3 or 4) against the
// colour; alpha only when the image has it (32 bits).
::testing::AssertionResult MatchesReference(const RasterImage& image, const Netpbm& reference) {
  if (image.Width() != reference.width || image.Height() != reference.height) {
    return ::testing::AssertionFailure()
           << "size " << image.Width() << "x" << image.Height() << ", reference " << reference.width
           << "x" << reference.height;
  }
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint8_t* want = reference.Pixel(x, y);
      const bool greyReference = reference.depth <= 2;
      const Colour expected =
          greyReference ? Colour{want[0], want[0], want[0], reference.depth == 2 ? want[1] : 255}
                        : Colour{want[0], want[1], want[2], reference.depth == 4 ? want[3] : 255};
      const Colour got = ColourAt(image, x, y);
      const bool alphaCounts = image.BitsPerPixel() == 32;
      if (got.red != expected.red || got.green != expected.green || got.blue != expected.blue ||
          (alphaCounts && got.alpha != expected.alpha)) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << got.red << "," << got.green << ","
               << got.blue << " alpha " << got.alpha << ", expected " << expected.red << ","
               << expected.green << "," << expected.blue << " alpha " << expected.alpha;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

bool SamePixelsAndPalette(const RasterImage& a, const RasterImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel() ||
      a.PaletteSize() != b.PaletteSize() || a.ByteCount() != b.ByteCount()) {
    return false;
  }
  if (!std::equal(a.PixelData(), a.PixelData() + a.ByteCount(), b.PixelData())) return false;
  for (int i = 0; i < a.PaletteSize(); ++i) {
    const PaletteEntry& p = a.PaletteEntries()[i];
    const PaletteEntry& q = b.PaletteEntries()[i];
    if (p.red != q.red || p.green != q.green || p.blue != q.blue) return false;
  }
  return true;
}

// Deterministic noise, so written pictures do not compress away.
void FillNoise(RasterImage& image, std::uint32_t seed) {
  std::uint32_t state = seed;
  for (std::int64_t i = 0; i < image.ByteCount(); ++i) {
    state = state * 1664525u + 1013904223u;
    image.PixelData()[i] = static_cast<std::uint8_t>(state >> 24);
  }
}

int OpenDescriptors() {
#ifdef _WIN32
  return 0;
#else
  std::error_code error;
  int count = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd", error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
#endif
}

class PngCodecTest : public engine_test::ReaderTest {
 protected:
  // Opens and reads a test picture; 1 when both steps succeed.
  int Load(const std::string& name, RasterImage& image, SourceVariant* variant = nullptr) {
    PngCodec codec;
    if (codec.OpenRead(DataPath(name).c_str(), image, RecordProgress) != 1) return 0;
    if (variant != nullptr) *variant = codec.Variant();
    return codec.Read();
  }

  int Save(const RasterImage& image, const std::string& path, std::int32_t bits,
           std::int32_t paletteSize) {
    PngCodec codec;
    if (codec.OpenWrite(path.c_str(), image, bits, paletteSize, RecordProgress) != 1) return 0;
    return codec.Write();
  }
};

// ---------------------------------------------------------------- reading

TEST_F(PngCodecTest, GreyAtEveryDepthLoadsAsEightBitGreyScaledToFullRange) {
  const struct {
    const char* name;
    int depth;
  } cases[] = {{"grey1", 1}, {"grey2", 2}, {"grey4", 4}, {"grey8", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Ihdr header = HeaderOfFile(DataPath(std::string(c.name) + ".png"));
    ASSERT_EQ(header.colourType, 0);
    ASSERT_EQ(header.bitDepth, c.depth);
    RasterImage image;
    SourceVariant variant = SourceVariant::None;
    ASSERT_EQ(Load(std::string(c.name) + ".png", image, &variant), 1);
    EXPECT_EQ(variant, SourceVariant::PngGrey);
    EXPECT_EQ(image.BitsPerPixel(), 8);
    EXPECT_EQ(image.PaletteSize(), 0);
    EXPECT_TRUE(MatchesReference(image, Reference(c.name)));
  }
  // 1-bit samples become exactly 0 and 255.
  RasterImage image;
  ASSERT_EQ(Load("grey1.png", image), 1);
  bool sawBlack = false;
  bool sawWhite = false;
  for (std::int64_t i = 0; i < image.ByteCount(); ++i) {
    const std::uint8_t value = image.PixelData()[i];
    ASSERT_TRUE(value == 0 || value == 255) << static_cast<int>(value);
    sawBlack = sawBlack || value == 0;
    sawWhite = sawWhite || value == 255;
  }
  EXPECT_TRUE(sawBlack && sawWhite);
}

TEST_F(PngCodecTest, PaletteAtEveryDepthLoadsAsIndicesWithTheFilesPalette) {
  const struct {
    const char* name;
    int depth;
  } cases[] = {{"palette1", 1}, {"palette2", 2}, {"palette4", 4}, {"palette8", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Ihdr header = HeaderOfFile(DataPath(std::string(c.name) + ".png"));
    ASSERT_EQ(header.colourType, 3);
    ASSERT_EQ(header.bitDepth, c.depth);
    RasterImage image;
    SourceVariant variant = SourceVariant::None;
    ASSERT_EQ(Load(std::string(c.name) + ".png", image, &variant), 1);
    EXPECT_EQ(variant, SourceVariant::PngPalette);
    EXPECT_EQ(image.BitsPerPixel(), 8);
    EXPECT_EQ(image.PaletteSize(), header.paletteEntries);
    EXPECT_TRUE(MatchesReference(image, Reference(c.name)));
  }
}

TEST_F(PngCodecTest, TruecolourLoadsAsRgbAndWithAlphaAsAlphaFirst) {
  RasterImage rgb;
  SourceVariant variant = SourceVariant::None;
  ASSERT_EQ(HeaderOfFile(DataPath("rgb8.png")).colourType, 2);
  ASSERT_EQ(Load("rgb8.png", rgb, &variant), 1);
  EXPECT_EQ(variant, SourceVariant::PngRgb);
  EXPECT_EQ(rgb.BitsPerPixel(), 24);
  EXPECT_TRUE(MatchesReference(rgb, Reference("rgb8")));

  RasterImage rgba;
  ASSERT_EQ(HeaderOfFile(DataPath("rgba8.png")).colourType, 6);
  ASSERT_EQ(Load("rgba8.png", rgba, &variant), 1);
  EXPECT_EQ(variant, SourceVariant::PngRgbAlpha);
  EXPECT_EQ(rgba.BitsPerPixel(), 32);
  const Netpbm reference = Reference("rgba8");
  ASSERT_EQ(reference.depth, 4);
  EXPECT_TRUE(MatchesReference(rgba, reference));
  // Alpha really varies, so its position in the pixel is checked.
  const std::uint8_t* first = rgba.PixelData();
  const std::uint8_t* last = rgba.Row(rgba.Height() - 1) + (rgba.Width() - 1) * 4;
  EXPECT_NE(first[0], last[0]);
}

// Grey with alpha used to load as grey with the alpha dropped, and tRNS
// chunks were ignored; both now give alpha, which the loader flattens.
TEST_F(PngCodecTest, GreyWithAlphaLoadsAsAlphaFirstColour) {
  ASSERT_EQ(HeaderOfFile(DataPath("greyalpha8.png")).colourType, 4);
  RasterImage image;
  SourceVariant variant = SourceVariant::None;
  ASSERT_EQ(Load("greyalpha8.png", image, &variant), 1);
  EXPECT_EQ(variant, SourceVariant::PngGrey);
  EXPECT_EQ(image.BitsPerPixel(), 32);
  const Netpbm reference = Reference("greyalpha8");
  ASSERT_EQ(reference.depth, 2);
  EXPECT_TRUE(MatchesReference(image, reference));
}

TEST_F(PngCodecTest, TransparencyChunksGiveAlphaAtEveryColourType) {
  // The transparent colour of the grey files is not one their pictures hold
  // (make_png.sh takes it from a PPM view); the colour files do hold theirs.
  const struct {
    const char* name;
    int colourType;
    bool colourOccurs;
  } cases[] = {{"grey4_trns", 0, false},
               {"grey8_trns", 0, false},
               {"palette4_trns", 3, true},
               {"rgb8_trns", 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Chunk> chunks =
        ParseChunks(FileBytes(DataPath(std::string(c.name) + ".png")));
    ASSERT_EQ(HeaderOf(chunks).colourType, c.colourType);
    ASSERT_TRUE(
        std::any_of(chunks.begin(), chunks.end(), [](const Chunk& k) { return k.type == "tRNS"; }));
    RasterImage image;
    ASSERT_EQ(Load(std::string(c.name) + ".png", image), 1);
    EXPECT_EQ(image.BitsPerPixel(), 32);
    EXPECT_EQ(image.PaletteSize(), 0);
    const Netpbm reference = Reference(c.name);
    ASSERT_TRUE(reference.depth == 2 || reference.depth == 4) << "pngtopam gives the alpha too";
    EXPECT_TRUE(MatchesReference(image, reference));
    int transparent = 0;
    for (std::int64_t i = 0; i < image.ByteCount(); i += 4)
      transparent += image.PixelData()[i] == 0;
    if (c.colourOccurs) {
      EXPECT_GT(transparent, 0) << "the transparent colour occurs";
    }
  }
}

TEST_F(PngCodecTest, SixteenBitSamplesRoundToTheNearestEightBitValue) {
  // Every 16-bit value once: v becomes (v x 255 + 32767) / 65535, where
  // dropping the low byte would differ for about half of them.
  const Ihdr header = HeaderOfFile(DataPath("grey16_all.png"));
  ASSERT_EQ(header.bitDepth, 16);
  ASSERT_EQ(header.colourType, 0);
  RasterImage image;
  ASSERT_EQ(Load("grey16_all.png", image), 1);
  ASSERT_EQ(image.BitsPerPixel(), 8);
  ASSERT_EQ(image.ByteCount(), 65536);
  int truncatedWouldDiffer = 0;
  for (std::uint32_t v = 0; v < 65536; ++v) {
    const std::uint32_t rounded = (v * 255 + 32767) / 65535;
    ASSERT_EQ(image.PixelData()[v], rounded) << "value " << v;
    truncatedWouldDiffer += (v >> 8) != rounded;
  }
  EXPECT_GT(truncatedWouldDiffer, 10000);

  const struct {
    const char* name;
    int colourType;
    int bits;
  } cases[] = {{"grey16", 0, 8},       {"rgb16", 2, 24},      {"rgba16", 6, 32},
               {"greyalpha16", 4, 32}, {"rgb16_trns", 2, 32}, {"grey16_trns", 0, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(HeaderOfFile(DataPath(std::string(c.name) + ".png")).bitDepth, 16);
    ASSERT_EQ(HeaderOfFile(DataPath(std::string(c.name) + ".png")).colourType, c.colourType);
    RasterImage picture;
    ASSERT_EQ(Load(std::string(c.name) + ".png", picture), 1);
    EXPECT_EQ(picture.BitsPerPixel(), c.bits);
  }
}

TEST_F(PngCodecTest, Adam7FilesDecodeLikeTheSamePictureWithoutInterlacing) {
  for (const char* name :
       {"grey1", "grey4", "palette4", "rgb8", "rgba8", "greyalpha8", "tiny", "one"}) {
    SCOPED_TRACE(name);
    const std::string interlacedName = std::string(name) + "_adam7";
    ASSERT_EQ(HeaderOfFile(DataPath(interlacedName + ".png")).interlace, 1);
    ASSERT_EQ(HeaderOfFile(DataPath(std::string(name) + ".png")).interlace, 0);
    RasterImage plain;
    RasterImage interlaced;
    ASSERT_EQ(Load(std::string(name) + ".png", plain), 1);
    ASSERT_EQ(Load(interlacedName + ".png", interlaced), 1);
    EXPECT_TRUE(SamePixelsAndPalette(plain, interlaced));
    EXPECT_TRUE(MatchesReference(interlaced, Reference(interlacedName)));
  }
}

// Gamma: a file is taken as made for the display's gamma 2.2 unless its
// gAMA chunk says otherwise and it has no sRGB chunk.
TEST_F(PngCodecTest, FilesMadeForTheDisplayGammaLoadUnchanged) {
  for (const char* name : {"rgb8", "gamma045", "srgb", "srgb_gamma10"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    ASSERT_EQ(Load(std::string(name) + ".png", image), 1);
    EXPECT_TRUE(MatchesReference(image, Reference(name)));
  }
  const std::vector<Chunk> both = ParseChunks(FileBytes(DataPath("srgb_gamma10.png")));
  EXPECT_TRUE(
      std::any_of(both.begin(), both.end(), [](const Chunk& k) { return k.type == "sRGB"; }));
  EXPECT_TRUE(
      std::any_of(both.begin(), both.end(), [](const Chunk& k) { return k.type == "gAMA"; }));
}

TEST_F(PngCodecTest, LinearGammaFilesAreCorrectedTowardsTheDisplayGamma) {
  for (const char* name : {"gamma10", "grey8_gamma10"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    ASSERT_EQ(Load(std::string(name) + ".png", image), 1);
    const Netpbm reference = Reference(name);
    ASSERT_EQ(reference.width, image.Width());
    const int channels = image.BytesPerPixel();
    ASSERT_GE(reference.depth, channels);
    int changed = 0;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        for (int c = 0; c < channels; ++c) {
          const int stored = reference.Pixel(x, y)[c];
          const int expected =
              static_cast<int>(std::floor(255.0 * std::pow(stored / 255.0, 1 / 2.2) + 0.5));
          const int got = image.Row(y)[x * channels + c];
          ASSERT_NEAR(got, expected, 1) << "(" << x << "," << y << ") stored " << stored;
          changed += got != stored;
        }
      }
    }
    EXPECT_GT(changed, image.ByteCount() / 2);
  }
}

TEST_F(PngCodecTest, PaletteFilesKeepTheirStoredColoursWhateverTheGamma) {
  RasterImage image;
  ASSERT_EQ(Load("palette4_gamma10.png", image), 1);
  EXPECT_TRUE(MatchesReference(image, Reference("palette4_gamma10")));
}

TEST_F(PngCodecTest, ReadingReportsEveryRowOfEveryPassAndAFinalCall) {
  RasterImage image;
  ASSERT_EQ(Load("rgb8.png", image), 1);
  const int height = image.Height();
  ASSERT_EQ(progressCalls.size(), static_cast<std::size_t>(height + 1));
  for (int row = 0; row < height; ++row) {
    EXPECT_EQ(progressCalls[row], (ProgressCall{1, (row + 1) * 100 / height, row, 0})) << row;
  }
  EXPECT_EQ(progressCalls.back(), (ProgressCall{1, 100, height - 1, 0}));

  progressCalls.clear();
  ASSERT_EQ(Load("rgb8_adam7.png", image), 1);
  ASSERT_EQ(progressCalls.size(), static_cast<std::size_t>(7 * height + 1));
  EXPECT_EQ(progressCalls[height], (ProgressCall{1, 100 / height, 0, 0}));
  EXPECT_EQ(progressCalls.back(), (ProgressCall{1, 100, height - 1, 0}));
}

TEST_F(PngCodecTest, DamagedFilesFailInTheReadStepAndReleaseEverything) {
  for (const char* name : {"truncated.bin", "no_iend.bin"}) {
    SCOPED_TRACE(name);
    // A copy, so that deleting it afterwards proves the file was closed.
    const std::string copy = FilePath(name);
    fs::copy_file(DataPath(name), copy);
    const int descriptorsBefore = OpenDescriptors();
    progressCalls.clear();
    {
      RasterImage image;
      PngCodec codec;
      ASSERT_EQ(codec.OpenRead(copy.c_str(), image, RecordProgress), 1);
      EXPECT_TRUE(codec.IsOpen());
      EXPECT_EQ(codec.Read(), 0);
      EXPECT_FALSE(codec.IsOpen());
      EXPECT_EQ(codec.Variant(), SourceVariant::None);
      std::error_code error;
      EXPECT_TRUE(fs::remove(copy, error)) << "the source file is still open: " << error.message();
      ASSERT_FALSE(progressCalls.empty());
      EXPECT_EQ(progressCalls.back(), (ProgressCall{1, 100, 22, 0}));
      // The image stays a valid object; releasing it removes its storage.
      EXPECT_EQ(image.Release(), 1);
      EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    }
  }
}

TEST_F(PngCodecTest, HeadersClaimingMorePixelsThanPossibleFailBeforeAnyImageIsMade) {
  for (const char* name : {"inflated_claim.bin", "giant_claim.bin"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    PngCodec codec;
    progressCalls.clear();
    ASSERT_EQ(codec.OpenRead(DataPath(name).c_str(), image, RecordProgress), 1);
    EXPECT_GE(codec.Width(), 20000);
    EXPECT_EQ(codec.Read(), 0);
    EXPECT_TRUE(image.IsEmpty()) << "no storage may be made for such a claim";
    EXPECT_TRUE(temp.Entries().empty());
    EXPECT_FALSE(codec.IsOpen());
    ASSERT_EQ(progressCalls.size(), 1u);
    EXPECT_EQ(progressCalls.back().percent, 100);
  }
}

TEST_F(PngCodecTest, ReadFailsCleanlyWhenTheImageCannotBeMade) {
  RasterImage image;
  PngCodec codec;
  ASSERT_EQ(codec.OpenRead(DataPath("rgb8.png").c_str(), image, RecordProgress), 1);
  temp.PointAt(FilePath("no such folder"));
  EXPECT_EQ(codec.Read(), 0);
  temp.PointAt(temp.PathText());
  EXPECT_FALSE(codec.IsOpen());
  EXPECT_TRUE(image.IsEmpty());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls.back(), (ProgressCall{1, 100, 22, 0}));
}

TEST_F(PngCodecTest, OtherFilesAreRefusedQuietlyByTheOpenStep) {
  const std::string text = DataPath("text.bin");
  const std::string missing = DataPath("missing.png");
  const std::string folder = DataPath("");
  for (const std::string& path : {text, missing, folder, std::string()}) {
    SCOPED_TRACE(path);
    RasterImage image;
    PngCodec codec;
    EXPECT_EQ(codec.OpenRead(path.c_str(), image, RecordProgress), 0);
    EXPECT_FALSE(codec.IsOpen());
    EXPECT_TRUE(image.IsEmpty());
  }
  RasterImage image;
  PngCodec codec;
  EXPECT_EQ(codec.OpenRead(nullptr, image), 0);
  EXPECT_EQ(codec.Read(), 0) << "a read step without an accepted open step fails";
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(PngCodecTest, ReadingIntoAnImageReplacesItsContentAndLayout) {
  RasterImage image;
  ASSERT_EQ(Load("rgb8.png", image), 1);
  ASSERT_EQ(Load("palette4.png", image), 1);
  EXPECT_EQ(image.BitsPerPixel(), 8);
  EXPECT_TRUE(MatchesReference(image, Reference("palette4")));
  ASSERT_EQ(Load("palette4_adam7.png", image), 1);
  EXPECT_TRUE(MatchesReference(image, Reference("palette4_adam7")));
  ASSERT_EQ(Load("tiny.png", image), 1);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_TRUE(MatchesReference(image, Reference("tiny")));
  EXPECT_EQ(temp.Entries().size(), 1u) << "one image, one backing file";
}

// ---------------------------------------------------------------- writing

TEST_F(PngCodecTest, WrittenRgbIsAdam7WithOnlyHeaderDataAndEndChunksAndReadsBackExactly) {
  RasterImage image;
  ASSERT_EQ(image.Create(41, 29, 24, 0), 1);
  FillNoise(image, 7);
  const std::string destination = FilePath("rgb.png");
  WriteFileBytes(destination, "an earlier file");
  ASSERT_EQ(Save(image, destination, 24, 0), 1);

  const std::vector<Chunk> chunks = ParseChunks(FileBytes(destination));
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  for (std::size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i].type, "IDAT") << i;
  for (const Chunk& chunk : chunks) EXPECT_TRUE(chunk.crcValid) << chunk.type;
  const Ihdr header = HeaderOf(chunks);
  EXPECT_EQ(header.width, 41u);
  EXPECT_EQ(header.height, 29u);
  EXPECT_EQ(header.bitDepth, 8);
  EXPECT_EQ(header.colourType, 2);
  EXPECT_EQ(header.compression, 0);
  EXPECT_EQ(header.filter, 0);
  EXPECT_EQ(header.interlace, 1);
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"rgb.png"});

  RasterImage back;
  SourceVariant variant = SourceVariant::None;
  PngCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), back), 1);
  variant = reader.Variant();
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(variant, SourceVariant::PngRgb);
  EXPECT_TRUE(SamePixelsAndPalette(image, back));

#ifndef _WIN32
  // And as another decoder sees it.
  if (std::system("command -v pngtopam >/dev/null 2>&1") == 0) {
    const std::string decoded = FilePath("decoded.pam");
    const std::string command = "pngtopam '" + destination + "' >'" + decoded + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Netpbm other;
    ASSERT_TRUE(ParseNetpbm(FileBytes(decoded), other));
    EXPECT_TRUE(MatchesReference(image, other));
  }
#endif
}

TEST_F(PngCodecTest, WrittenPngIsInterlacedEvenWhenTheSourceWasNot) {
  RasterImage image;
  ASSERT_EQ(Load("rgba8.png", image), 1);
  ASSERT_EQ(HeaderOfFile(DataPath("rgba8.png")).interlace, 0);
  const std::string destination = FilePath("from_rgba.png");
  ASSERT_EQ(Save(image, destination, 24, 0), 1);
  const Ihdr header = HeaderOfFile(destination);
  EXPECT_EQ(header.interlace, 1);
  EXPECT_EQ(header.colourType, 2) << "the alpha is dropped";
  RasterImage written;
  PngCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), written), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(MatchesReference(written, Reference("rgba8")));
}

TEST_F(PngCodecTest, RgbaRoundTripIsExactAndLeavesTheSourceImageAsItWas) {
  RasterImage image;
  ASSERT_EQ(image.Create(19, 13, 32, 0), 1);
  FillNoise(image, 11);
  RasterImage before;
  ASSERT_EQ(before.CopyFrom(image), 1);
  const std::string destination = FilePath("rgba.png");
  ASSERT_EQ(Save(image, destination, 32, 0), 1);
  EXPECT_TRUE(SamePixelsAndPalette(image, before)) << "the caller's image was changed";
  const Ihdr header = HeaderOfFile(destination);
  EXPECT_EQ(header.colourType, 6);
  EXPECT_EQ(header.interlace, 1);

  RasterImage back;
  PngCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), back), 1);
  EXPECT_EQ(reader.Variant(), SourceVariant::PngRgbAlpha);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(SamePixelsAndPalette(image, back));
}

TEST_F(PngCodecTest, PaletteRoundTripIsExactAndWritesThePaletteChunk) {
  RasterImage image;
  ASSERT_EQ(image.Create(23, 9, 8, 5), 1);
  const std::uint8_t colours[5][3] = {
      {0, 0, 0}, {255, 0, 0}, {0, 200, 10}, {17, 34, 51}, {255, 255, 255}};
  for (int i = 0; i < 5; ++i) {
    image.PaletteEntries()[i].red = colours[i][0];
    image.PaletteEntries()[i].green = colours[i][1];
    image.PaletteEntries()[i].blue = colours[i][2];
  }
  for (std::int64_t i = 0; i < image.ByteCount(); ++i)
    image.PixelData()[i] = static_cast<std::uint8_t>((i * 7 + i / 23) % 5);

  const std::string destination = FilePath("palette.png");
  ASSERT_EQ(Save(image, destination, 8, 5), 1);
  const std::vector<Chunk> chunks = ParseChunks(FileBytes(destination));
  std::vector<std::string> types;
  for (const Chunk& chunk : chunks) {
    if (types.empty() || types.back() != chunk.type) types.push_back(chunk.type);
    EXPECT_TRUE(chunk.crcValid) << chunk.type;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  EXPECT_EQ(HeaderOf(chunks).colourType, 3);
  EXPECT_EQ(HeaderOf(chunks).bitDepth, 8);
  EXPECT_EQ(HeaderOf(chunks).interlace, 1);
  EXPECT_EQ(HeaderOf(chunks).paletteEntries, 5);

  RasterImage back;
  ASSERT_EQ(Load("palette4.png", back), 1);  // something else first
  PngCodec reader;
  ASSERT_EQ(reader.OpenRead(destination.c_str(), back), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_TRUE(SamePixelsAndPalette(image, back));

  // Asking for more palette entries than the picture has writes the
  // picture's own palette, never entries past its end.
  const std::string larger = FilePath("palette200.png");
  ASSERT_EQ(Save(image, larger, 8, 200), 1);
  EXPECT_EQ(HeaderOfFile(larger).paletteEntries, 5);
  PngCodec again;
  ASSERT_EQ(again.OpenRead(larger.c_str(), back), 1);
  ASSERT_EQ(again.Read(), 1);
  EXPECT_TRUE(SamePixelsAndPalette(image, back));
}

TEST_F(PngCodecTest, OtherLayoutsAreConvertedBeforeWriting) {
  // Grey becomes RGB with red = green = blue.
  RasterImage grey;
  ASSERT_EQ(Load("grey8.png", grey), 1);
  const std::string fromGrey = FilePath("grey.png");
  ASSERT_EQ(Save(grey, fromGrey, 24, 0), 1);
  EXPECT_EQ(HeaderOfFile(fromGrey).colourType, 2);
  RasterImage back;
  PngCodec reader;
  ASSERT_EQ(reader.OpenRead(fromGrey.c_str(), back), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(back.BitsPerPixel(), 24);
  EXPECT_TRUE(MatchesReference(back, Reference("grey8")));

  // A 16-bit picture is written with its unpacked channels.
  RasterImage packed;
  ASSERT_EQ(packed.Create(5, 3, 16, 0), 1);
  for (int i = 0; i < 15; ++i) {
    const std::uint16_t word =
        PackRgb16(static_cast<std::uint8_t>(i * 17), 200, static_cast<std::uint8_t>(255 - i * 9));
    packed.PixelData()[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
    packed.PixelData()[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
  }
  const std::string fromPacked = FilePath("packed.png");
  ASSERT_EQ(Save(packed, fromPacked, 24, 0), 1);
  PngCodec packedReader;
  ASSERT_EQ(packedReader.OpenRead(fromPacked.c_str(), back), 1);
  ASSERT_EQ(packedReader.Read(), 1);
  for (int i = 0; i < 15; ++i) {
    const std::uint16_t word = static_cast<std::uint16_t>(packed.PixelData()[2 * i] |
                                                          (packed.PixelData()[2 * i + 1] << 8));
    EXPECT_EQ(back.PixelData()[3 * i], Red16(word));
    EXPECT_EQ(back.PixelData()[3 * i + 1], Green16(word));
    EXPECT_EQ(back.PixelData()[3 * i + 2], Blue16(word));
  }
}

TEST_F(PngCodecTest, WritingReportsEveryRowOfEveryPassAndAFinalCall) {
  RasterImage image;
  ASSERT_EQ(image.Create(10, 6, 24, 0), 1);
  FillNoise(image, 3);
  ASSERT_EQ(Save(image, FilePath("progress.png"), 24, 0), 1);
  ASSERT_EQ(progressCalls.size(), 7u * 6 + 1);
  for (std::size_t i = 0; i + 1 < progressCalls.size(); ++i) {
    const int row = static_cast<int>(i % 6);
    EXPECT_EQ(progressCalls[i], (ProgressCall{0, (row + 1) * 100 / 6, row, 0})) << i;
  }
  EXPECT_EQ(progressCalls.back(), (ProgressCall{0, 100, 5, 0}));
}

TEST_F(PngCodecTest, RefusedWriteRequestsCreateNothing) {
  RasterImage image;
  ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
  const std::string destination = FilePath("refused.png");
  const struct {
    int bits;
    int paletteSize;
  } refused[] = {{16, 0}, {12, 0}, {0, 0}, {8, 0}, {8, 257}, {8, -1}};
  for (const auto& r : refused) {
    PngCodec codec;
    EXPECT_EQ(codec.OpenWrite(destination.c_str(), image, r.bits, r.paletteSize, RecordProgress), 0)
        << r.bits << "/" << r.paletteSize;
    EXPECT_EQ(codec.Write(), 0);
  }
  RasterImage empty;
  PngCodec codec;
  EXPECT_EQ(codec.OpenWrite(destination.c_str(), empty, 24, 0, RecordProgress), 0);
  EXPECT_FALSE(codec.IsOpen());
  EXPECT_EQ(codec.OpenWrite(nullptr, image, 24, 0), 0);
  EXPECT_TRUE(files.Entries().empty());
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(PngCodecTest, OpenedWriteRecordsTheVariantAndLeavesNothingWhenClosedUnwritten) {
  RasterImage image;
  ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
  const std::string destination = FilePath("unwritten.png");
  const struct {
    int bits;
    int paletteSize;
    SourceVariant variant;
  } cases[] = {{8, 16, SourceVariant::PngPalette},
               {24, 0, SourceVariant::PngRgb},
               {32, 0, SourceVariant::PngRgbAlpha}};
  for (const auto& c : cases) {
    PngCodec codec;
    ASSERT_EQ(codec.OpenWrite(destination.c_str(), image, c.bits, c.paletteSize), 1);
    EXPECT_EQ(codec.Variant(), c.variant);
    EXPECT_EQ(codec.BitsPerPixel(), c.bits);
    EXPECT_TRUE(codec.IsOpen());
    codec.Close();
    EXPECT_FALSE(codec.IsOpen());
    EXPECT_EQ(codec.Write(), 0) << "closed codecs do not write";
    EXPECT_TRUE(files.Entries().empty());
  }
  {
    PngCodec abandoned;
    ASSERT_EQ(abandoned.OpenWrite(destination.c_str(), image, 24, 0), 1);
  }
  EXPECT_TRUE(files.Entries().empty());
}

TEST_F(PngCodecTest, DestinationInAMissingFolderFailsAndLeavesNoFile) {
  RasterImage image;
  ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
  const std::string destination = (files.File("missing") / "out.png").string();
  PngCodec codec;
  EXPECT_EQ(codec.OpenWrite(destination.c_str(), image, 24, 0, RecordProgress), 0);
  EXPECT_EQ(codec.Write(), 0);
  EXPECT_FALSE(fs::exists(files.File("missing")));
  EXPECT_TRUE(files.Entries().empty());
}

TEST_F(PngCodecTest, FailedConversionKeepsTheEarlierFileAndEndsWithAFinalProgressCall) {
  RasterImage image;
  ASSERT_EQ(image.Create(8, 5, 32, 0), 1);
  FillNoise(image, 5);
  const std::string destination = FilePath("kept.png");
  WriteFileBytes(destination, "an earlier file");
  PngCodec codec;
  ASSERT_EQ(codec.OpenWrite(destination.c_str(), image, 24, 0, RecordProgress), 1);
  // The 24-bit copy needs a backing file, and the temporary folder is gone.
  temp.PointAt(FilePath("no such folder"));
  EXPECT_EQ(codec.Write(), 0);
  temp.PointAt(temp.PathText());
  EXPECT_FALSE(codec.IsOpen());
  const std::vector<std::uint8_t> kept = FileBytes(destination);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier file");
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"kept.png"});
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls.back(), (ProgressCall{0, 100, 4, 0}));
}

#ifndef _WIN32
// The file-size limit makes the library's own writes fail part way.
TEST_F(PngCodecTest, FailedFileWriteKeepsTheEarlierFileAndLeavesNoPartialFile) {
  RasterImage image;
  ASSERT_EQ(image.Create(300, 200, 24, 0), 1);
  FillNoise(image, 9);
  const std::string destination = FilePath("full.png");
  WriteFileBytes(destination, "an earlier file");

  PngCodec codec;
  ASSERT_EQ(codec.OpenWrite(destination.c_str(), image, 24, 0, RecordProgress), 1);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*savedHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int written = codec.Write();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);

  EXPECT_EQ(written, 0);
  EXPECT_FALSE(codec.IsOpen());
  const std::vector<std::uint8_t> kept = FileBytes(destination);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier file");
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"full.png"});
  ASSERT_FALSE(progressCalls.empty());
  EXPECT_LT(progressCalls.size(), 7u * 200 + 1) << "the write cannot have got through";
  EXPECT_EQ(progressCalls.back(), (ProgressCall{0, 100, 199, 0}));
}
#endif

// Which files folder runs leave to the engine: 16-bit alpha only.
TEST(PngSixteenBitAlphaTest, OnlyGreyAlphaAndRgbaAtSixteenBitsAreNamed) {
  const std::pair<const char*, bool> cases[] = {
      {"rgba16.png", true},      {"greyalpha16.png", true},
      {"rgba8.png", false},      {"rgb16.png", false},
      {"rgb16_trns.png", false}, {"grey16.png", false},
      {"missing.png", false},    {"", false},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(IsPngWithSixteenBitAlpha(DataPath(name).c_str()), expected) << name;
  }
  EXPECT_FALSE(IsPngWithSixteenBitAlpha(nullptr));
}

}  // namespace
}  // namespace engine
