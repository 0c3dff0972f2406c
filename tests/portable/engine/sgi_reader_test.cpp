// SgiReader: verbatim and run-length SGI files of one to four channels and 8
// or 16 bits, written by ImageMagick, GraphicsMagick and netpbm
// (make_sgi.sh), decode to the pixels ImageMagick gives; layouts no Debian
// tool writes (two channels, 16-bit run-length rows, fewer dimensions) are
// encoded here and checked against their samples and, natively, against
// ImageMagick again; damaged headers, tables and rows are refused or fail to
// read, and the loader answers "not readable" for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/picture_loader.h"
#include "engine/raster_image.h"
#include "engine/result_codes.h"
#include "engine/sgi_reader.h"
#include "made_picture_files.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::RasterImage;
using engine::SgiReader;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/sgi/" + name;
}

// Red, green, blue, alpha of every pixel of an 8-bit grey, 24-bit or 32-bit
// image (alpha 255 where the image has none).
Bytes Rgba(const RasterImage& image) {
  Bytes rgba;
  const Bytes pixels = ImageBytes(image);
  for (std::size_t i = 0; i < pixels.size(); i += image.BytesPerPixel()) {
    switch (image.BitsPerPixel()) {
      case 8:
        rgba.insert(rgba.end(), {pixels[i], pixels[i], pixels[i], 255});
        break;
      case 24:
        rgba.insert(rgba.end(), {pixels[i], pixels[i + 1], pixels[i + 2], 255});
        break;
      default:
        rgba.insert(rgba.end(), {pixels[i + 1], pixels[i + 2], pixels[i + 3], pixels[i]});
        break;
    }
  }
  return rgba;
}

Bytes Opaque(Bytes rgba) {
  for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  return rgba;
}

int LargestDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

std::uint8_t ToEight(std::uint16_t value, int bytesPerChannel) {
  return bytesPerChannel == 1 ? static_cast<std::uint8_t>(value)
                              : static_cast<std::uint8_t>((value * 255u + 32767u) / 65535u);
}

// What the reader should make of picture, as red, green, blue, alpha.
Bytes ExpectedRgba(const SgiPicture& picture) {
  Bytes rgba;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      std::uint8_t c[4] = {};
      for (int channel = 0; channel < picture.channels; ++channel) {
        c[channel] = ToEight(picture.At(channel, x, y), picture.bytesPerChannel);
      }
      if (picture.channels <= 2) {
        rgba.insert(rgba.end(),
                    {c[0], c[0], c[0], picture.channels == 2 ? c[1] : std::uint8_t{255}});
      } else {
        rgba.insert(rgba.end(),
                    {c[0], c[1], c[2], picture.channels == 4 ? c[3] : std::uint8_t{255}});
      }
    }
  }
  return rgba;
}

// Flat stretches longer than a packet, steps and noise in every channel.
SgiPicture MadePicture(int width, int height, int channels, int bytesPerChannel) {
  SgiPicture picture{width, height, channels, bytesPerChannel, {}};
  const std::uint32_t top = bytesPerChannel == 1 ? 255 : 65535;
  std::uint32_t noise = 12345;
  for (int channel = 0; channel < channels; ++channel) {
    std::vector<std::uint16_t> plane;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        noise = noise * 1103515245u + 12345u;
        std::uint32_t value = 0;
        if (x < 140) {
          value = top / (channel + 2) + y;  // a run longer than 127
        } else if (x < 200) {
          value = (noise >> 8) % (top + 1);  // literals
        } else {
          value = ((x / 3) * 997u + channel * 131u) % (top + 1);  // runs of three
        }
        plane.push_back(static_cast<std::uint16_t>(value));
      }
    }
    picture.planes.push_back(plane);
  }
  return picture;
}

class SgiReaderTest : public ReaderTestOf<SgiReader> {};

TEST_F(SgiReaderTest, FilesOfDebianToolsDecodeToImageMagicksPixels) {
  struct Variant {
    const char* file;
    int channels;
    int bytesPerChannel;
    bool runLength;
    int bits;
  };
  const Variant variants[] = {
      {"im_rgb_rle.sgi", 3, 1, true, 24},        {"im_rgb_none.rgb", 3, 1, false, 24},
      {"im_grey_rle.bw", 1, 1, true, 8},         {"im_grey_none.sgi", 1, 1, false, 8},
      {"im_rgba_rle.sgi", 4, 1, true, 32},       {"im_rgba_none.sgi", 4, 1, false, 32},
      {"im_grey_alpha_rle.sgi", 4, 1, true, 32}, {"im_rgb16.sgi", 3, 2, false, 24},
      {"im_grey16.sgi", 1, 2, false, 8},         {"im_rgba16.sgi", 4, 2, false, 32},
      {"gm_rgb_rle.sgi", 3, 1, true, 24},        {"gm_grey_none.sgi", 1, 1, false, 8},
      {"gm_rgba_rle.sgi", 4, 1, true, 32},       {"netpbm_rgb_rle.rgb", 3, 1, true, 24},
      {"netpbm_grey_none.bw", 1, 1, false, 8},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.file);
    const std::string stem = std::string(v.file).substr(0, std::string(v.file).rfind('.'));
    const Bytes reference = ReadBytes(TestPicture(stem + ".rgba"));
    RasterImage image;
    SgiReader reader;
    ASSERT_EQ(reader.OpenRead(TestPicture(v.file).c_str(), image), 1);
    EXPECT_EQ(reader.Channels(), v.channels);
    EXPECT_EQ(reader.BytesPerChannel(), v.bytesPerChannel);
    EXPECT_EQ(reader.IsRunLength(), v.runLength);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), v.bits);
    EXPECT_EQ(image.PaletteSize(), 0);
    ASSERT_EQ(static_cast<std::size_t>(image.Width()) * image.Height() * 4, reference.size());
    EXPECT_LE(LargestDifference(Rgba(image), reference), v.bytesPerChannel == 2 ? 1 : 0);
  }
}

TEST_F(SgiReaderTest, LayoutsNoDebianToolWritesDecodeToTheirSamples) {
  struct Variant {
    const char* what;
    int width, height, channels, bytesPerChannel;
    bool runLength;
    int dimension;
    int bits;
  };
  const Variant variants[] = {
      {"grey and alpha, run-length", 300, 5, 2, 1, true, 3, 32},
      {"grey and alpha, verbatim", 300, 5, 2, 1, false, 3, 32},
      {"grey and alpha, 16 bits", 300, 5, 2, 2, true, 3, 32},
      {"16-bit grey, run-length", 300, 5, 1, 2, true, 3, 8},
      {"16-bit RGB, run-length", 300, 5, 3, 2, true, 3, 24},
      {"16-bit RGBA, run-length", 300, 5, 4, 2, true, 3, 32},
      {"two dimensions", 300, 5, 1, 1, true, 2, 8},
      {"one dimension: one row", 300, 1, 1, 1, false, 1, 8},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.what);
    const SgiPicture picture = MadePicture(v.width, v.height, v.channels, v.bytesPerChannel);
    const std::string path = MakeFile("made.sgi", SgiFile(picture, v.runLength, v.dimension));
    RasterImage image;
    ASSERT_EQ(Load(path, image), 1);
    EXPECT_EQ(image.BitsPerPixel(), v.bits);
    ASSERT_EQ(image.Width(), v.width);
    ASSERT_EQ(image.Height(), v.height);
    const Bytes expected = ExpectedRgba(picture);
    EXPECT_EQ(LargestDifference(Rgba(image), expected), 0);
#ifndef _WIN32
    // And as ImageMagick decodes the same file. It drops the alpha of two
    // channels (reading them as grey), so there only the grey is compared.
    const std::string decoded = FilePath("made.rgba");
    const std::string command =
        "convert 'SGI:" + path + "' -depth 8 'rgba:" + decoded + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes got = v.channels == 2 ? Opaque(Rgba(image)) : Rgba(image);
    EXPECT_LE(LargestDifference(got, ReadBytes(decoded)), v.bytesPerChannel == 2 ? 1 : 0);
#endif
  }
}

// A small run-length file, one channel of 4 x 2: tables at 512 (starts) and
// 520 (lengths), the bottom row's data at 528.
constexpr std::size_t kStarts = 512;
constexpr std::size_t kLengths = 520;
Bytes SmallRunLengthFile() {
  SgiPicture picture{4, 2, 1, 1, {{1, 2, 3, 4, 5, 6, 7, 8}}};
  return SgiFile(picture, true);
}
Bytes WithRowData(Bytes file, const Bytes& data) {
  std::copy(data.begin(), data.end(), file.begin() + 528);
  return file;
}
Bytes WithField(Bytes file, std::size_t at, std::uint32_t value, int bytes) {
  if (bytes == 1) file[at] = static_cast<std::uint8_t>(value);
  if (bytes == 2) PutBigEndian16(file, at, value);
  if (bytes == 4) PutBigEndian32(file, at, value);
  return file;
}

TEST_F(SgiReaderTest, DamagedFilesAreRefusedOrFailToRead) {
  const Bytes verbatim = ReadBytes(TestPicture("im_rgb_none.rgb"));
  const Bytes small = SmallRunLengthFile();
  ASSERT_EQ(small.size(), 540u) << "two rows of 0x84 and four values and the end mark";
  RasterImage check;
  ASSERT_EQ(LoadBytes(small, check), 1);
  ASSERT_TRUE(ImageBytes(check) == Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(small[529], 5) << "the bottom row comes first in the file";
  struct Case {
    const char* what;
    Bytes file;
    int opens;  // 1: accepted by the open step, then fails to read
  };
  const Case cases[] = {
      {"magic other than 474", WithField(small, 0, 475, 2), 0},
      {"storage 2", WithField(small, 2, 2, 1), 0},
      {"3 bytes per channel", WithField(small, 3, 3, 1), 0},
      {"dimension 0", WithField(small, 4, 0, 2), 0},
      {"dimension 4", WithField(small, 4, 4, 2), 0},
      {"no channels", WithField(small, 10, 0, 2), 0},
      {"five channels", WithField(small, 10, 5, 2), 0},
      {"colour map file", WithField(small, 104, 3, 4), 0},
      {"width 0", WithField(small, 6, 0, 2), 0},
      {"header cut short", Bytes(small.begin(), small.begin() + 511), 0},
      {"verbatim rows cut short", Bytes(verbatim.begin(), verbatim.end() - 1), 0},
      {"verbatim height that lies", WithField(verbatim, 8, 24, 2), 0},
      {"offset tables past the end", WithField(small, 8, 60000, 2), 0},
      {"row starting past the end", WithField(small, kStarts, 541, 4), 0},
      {"row running past the end", WithField(small, kLengths, 13, 4), 0},
      {"row starting inside the tables", WithField(small, kStarts, 524, 4), 0},
      {"row too short to encode a row", WithField(small, kLengths, 1, 4), 0},
      {"literal past the width", WithRowData(small, {0x85, 1, 2, 3, 4, 0}), 1},
      {"run past the width", WithRowData(small, {0x81, 1, 0x04, 9, 0, 0}), 1},
      {"row ending early", WithRowData(small, {0x82, 1, 2, 0, 0, 0}), 1},
      {"row data beyond its length", WithField(small, kLengths, 2, 4), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RasterImage image;
    SgiReader reader;
    const std::string path = MakeFile("damaged.sgi", c.file);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), c.opens);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_EQ(engine::LoadPicture(path.c_str(), image), engine::ResultNotReadable);
    EXPECT_TRUE(image.IsEmpty());
  }
}

TEST_F(SgiReaderTest, SixteenBitRunsPastTheWidthFailToRead) {
  SgiPicture picture{4, 1, 1, 2, {{1000, 2000, 3000, 4000}}};
  Bytes file = SgiFile(picture, true);
  // The row: literal of 4 (0x0084), four words, the end mark; made a literal of 5.
  ASSERT_EQ(file[520], 0x00);
  file[521] = 0x85;
  RasterImage image;
  EXPECT_EQ(LoadBytes(file, image), 0);
}

TEST_F(SgiReaderTest, ReadReportsEveryRowThenAFinalCallAndTheLoaderTakesSgiFiles) {
  RasterImage image;
  SgiReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("im_rgba_rle.sgi").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressReading, 23));
  EXPECT_EQ(reader.Read(), 0);

  RasterImage loaded;
  ASSERT_EQ(engine::LoadPicture(TestPicture("im_rgb_rle.sgi").c_str(), loaded), engine::ResultOk);
  EXPECT_TRUE(Rgba(loaded) == ReadBytes(TestPicture("im_rgb_rle.rgba")));
}

}  // namespace
}  // namespace engine_test
