// WebpReader and HeifReader on the pictures of tests/testdata/make_modern.sh:
// the reader's own pixels, alpha included (the conversion test sees them
// only flattened over white), against each format's tool; and files in the
// same containers that hold no picture (sound, video) refused by the probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "engine/codec_conventions.h"
#include "engine/heif_reader.h"
#include "engine/raster_image.h"
#include "engine/webp_reader.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::HeifReader;
using engine::RasterImage;
using engine::WebpReader;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/modern/" + name;
}

// A PAM of make_modern.sh as 8-bit RGBA, deeper samples scaled as the
// engine scales them: (v*255 + max/2) / max.
struct Reference {
  int width = 0;
  int height = 0;
  Bytes rgba;
};

Reference ReadReference(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t end = text.find("ENDHDR\n");
  Reference reference;
  if (text.rfind("P7\n", 0) != 0 || end == std::string::npos) return reference;
  auto field = [&](const char* name) {
    const std::size_t at = text.find(std::string("\n") + name + " ");
    return at < end ? std::atoi(text.c_str() + at + std::strlen(name) + 2) : 0;
  };
  reference.width = field("WIDTH");
  reference.height = field("HEIGHT");
  const int depth = field("DEPTH");
  const unsigned maxval = static_cast<unsigned>(field("MAXVAL"));
  const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
  const std::size_t count = static_cast<std::size_t>(reference.width) * reference.height * depth;
  const std::size_t start = end + 7;
  if ((depth != 3 && depth != 4) || maxval == 0 || bytes.size() < start + count * sampleBytes) {
    return Reference();
  }
  for (std::size_t i = 0; i < count; ++i) {
    unsigned v = bytes[start + i * sampleBytes];
    if (sampleBytes == 2) v = v << 8 | bytes[start + i * 2 + 1];
    reference.rgba.push_back(static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval));
    if (depth == 3 && i % 3 == 2) reference.rgba.push_back(255);
  }
  return reference;
}

struct ReadCase {
  const char* file;
  int bits;       // 24 opaque, 32 with alpha
  int tolerance;  // largest channel difference, alpha included
};

std::ostream& operator<<(std::ostream& out, const ReadCase& readCase) {
  return out << readCase.file;
}

class ModernReadTest : public ReaderTest, public ::testing::WithParamInterface<ReadCase> {};

// Tolerances as in engine_convert_modern.sh: libwebp is dwebp's own library;
// heif-convert converts with libheif like the engine; avifdec with libavif.
// Measured: 0 for WebP and HEIC, 1 for AVIF.
TEST_P(ModernReadTest, DecodesToTheToolsPixelsAlphaIncluded) {
  const std::string file = GetParam().file;
  const std::string stem = file.substr(0, file.rfind('.'));
  const Reference reference = ReadReference(TestPicture(stem + ".pam"));
  ASSERT_GT(reference.width, 0) << "no reference for " << file << " (make_modern.sh did not run?)";

  RasterImage image;
  int read = 0;
  if (file.rfind("webp", 0) == 0) {
    read = Load(WebpReader(), TestPicture(file), image, RecordProgress);
  } else {
    read = Load(HeifReader(), TestPicture(file), image, RecordProgress);
  }
  ASSERT_EQ(read, 1);
  ASSERT_EQ(image.Width(), reference.width);
  ASSERT_EQ(image.Height(), reference.height);
  EXPECT_EQ(image.BitsPerPixel(), GetParam().bits);
  // One report, at the end.
  EXPECT_EQ(progressCalls,
            (std::vector<ProgressCall>{{engine::kProgressReading, 100, image.Height() - 1, 0}}));

  const Bytes rgba = ImageAsRgba(image);
  ASSERT_EQ(rgba.size(), reference.rgba.size());
  int largest = 0;
  std::size_t worst = 0;
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    const int difference = std::abs(int{rgba[i]} - int{reference.rgba[i]});
    if (difference > largest) {
      largest = difference;
      worst = i;
    }
  }
  EXPECT_LE(largest, GetParam().tolerance)
      << "pixel (" << worst / 4 % image.Width() << ", " << worst / 4 / image.Width()
      << "), channel " << worst % 4 << " (RGBA)";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ModernReadTest,
    ::testing::Values(ReadCase{"webp_lossy.webp", 24, 0}, ReadCase{"webp_lossless.webp", 24, 0},
                      ReadCase{"webp_lossy_alpha.webp", 32, 0},
                      // Colours under clear pixels kept: not premultiplied.
                      ReadCase{"webp_lossless_alpha.webp", 32, 0},
                      // The first frame on a clear canvas.
                      ReadCase{"webp_animation.webp", 32, 0}, ReadCase{"heic_8bit.heic", 24, 0},
                      ReadCase{"heic_alpha.heic", 32, 0}, ReadCase{"heic_10bit.heic", 24, 0},
                      ReadCase{"heic_grid_irot.heic", 24, 0}, ReadCase{"avif_alpha.avif", 32, 2},
                      ReadCase{"avif_10bit.avif", 24, 2}, ReadCase{"avif_turned.avif", 24, 2}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
      std::string name = info.param.file;
      for (char& c : name) {
        if (c == '.') c = '_';
      }
      return name;
    });

// A good file of make_modern.sh with some bytes replaced.
Bytes Edited(const std::string& file, std::size_t at, const std::string& replacement) {
  Bytes bytes = ReadBytes(TestPicture(file));
  if (bytes.size() >= at + replacement.size()) {
    std::memcpy(bytes.data() + at, replacement.data(), replacement.size());
  }
  return bytes;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

struct ProbeCase {
  const char* what;
  Bytes bytes;
  int opens;
};

// RIFF holds sound and video too, ISO BMFF ("ftyp" first) video, sound and
// camera raw files: only WebP and HEIF picture brands are the readers'.
// Every edited file is otherwise a good picture, as its unedited row shows.
TEST_F(ReaderTest, ProbesAcceptOnlyPictureForms) {
  const std::string webp = "webp_lossy.webp";
  const std::string heic = "heic_8bit.heic";  // ftyp: size, "ftyp", "heic", 0, "mif1heic"
  const std::string avif = "avif_8bit.avif";  // ftyp: size, "ftyp", "avif", 0, "avifmif1..."
  const std::vector<ProbeCase> webpCases = {
      {"WebP", ReadBytes(TestPicture(webp)), 1},
      {"WAVE form", Edited(webp, 8, "WAVE"), 0},
      {"AVI form", Edited(webp, 8, "AVI "), 0},
      {"WAV header",
       Text(std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0", 20) + std::string(20, '\0')), 0},
      {"RIFF header only", Text(std::string("RIFF\4\0\0\0WEBP", 12)), 0},
      {"RIFX (big-endian RIFF)", Edited(webp, 0, "RIFX"), 0},
  };
  for (const ProbeCase& probe : webpCases) {
    EXPECT_EQ(Opens(WebpReader(), MakeFile("probe", probe.bytes)), probe.opens) << probe.what;
  }
  const std::vector<ProbeCase> heifCases = {
      {"HEIC", ReadBytes(TestPicture(heic)), 1},
      {"AVIF", ReadBytes(TestPicture(avif)), 1},
      {"HEIF brand mif1 only", Edited(heic, 8, std::string("mif1\0\0\0\0mif1mif1", 16)), 1},
      {"MP4 video", Edited(heic, 8, std::string("mp42\0\0\0\0isommp42", 16)), 0},
      {"ISO video", Edited(heic, 8, std::string("isom\0\0\x02\0isomiso2", 16)), 0},
      {"QuickTime", Edited(heic, 8, std::string("qt  \0\0\0\0qt  qt  ", 16)), 0},
      {"MPEG-4 audio", Edited(heic, 8, std::string("M4A \0\0\0\0M4A isom", 16)), 0},
      {"Canon raw", Edited(heic, 8, std::string("crx \0\0\0\x01crx isom", 16)), 0},
      {"AV1 video", Edited(avif, 8, std::string("iso6\0\0\0\0iso6av01mp41msnv", 24)), 0},
      {"ftyp longer than the file", Edited(heic, 0, "\x7f\xff\xff\xff"), 0},
      {"no ftyp first", Edited(heic, 4, "free"), 0},
      {"a WebP file", ReadBytes(TestPicture(webp)), 0},
  };
  for (const ProbeCase& probe : heifCases) {
    EXPECT_EQ(Opens(HeifReader(), MakeFile("probe", probe.bytes)), probe.opens) << probe.what;
  }
  EXPECT_EQ(Opens(WebpReader(), TestPicture(heic)), 0);
}

#ifndef _WIN32
std::int64_t PeakMemoryBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
}
#endif

// A grid's data may declare a canvas far larger than the picture's size
// property; libheif would make that canvas (30000 x 30000: gigabytes) before
// the reader sees the decoded size. It must be refused without that.
TEST_F(ReaderTest, GridCanvasBeyondThePicturesSizeIsRefusedWithoutMakingIt) {
#ifdef _WIN32
  GTEST_SKIP() << "the peak memory is read through getrusage";
#else
  Bytes bytes = ReadBytes(TestPicture("heic_grid.heic"));
  // heif_build.py puts the grid's data last: version, flags, rows and
  // columns less one, output width and height.
  const Bytes grid = {0, 0, 1, 2, 0, 181, 0, 117};
  ASSERT_GE(bytes.size(), grid.size());
  ASSERT_TRUE(std::equal(grid.begin(), grid.end(), bytes.end() - 8));
  const Bytes canvas = {0x75, 0x30, 0x75, 0x30};  // 30000 x 30000
  std::copy(canvas.begin(), canvas.end(), bytes.end() - 4);
  const std::int64_t peakBefore = PeakMemoryBytes();
  RasterImage image;
  EXPECT_EQ(Load(HeifReader(), MakeFile("canvas.heic", bytes), image), 0);
  EXPECT_LT(PeakMemoryBytes() - peakBefore, std::int64_t{256} << 20);
#endif
}

}  // namespace
}  // namespace engine_test
