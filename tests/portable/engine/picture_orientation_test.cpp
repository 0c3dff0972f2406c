// Pictures leave the loader upright and opaque: the eight orientations of a
// JPEG and a TIFF file (tests/testdata/make_orientation.sh) against what
// ImageMagick shows after -auto-orient, and PNG files with alpha or a
// transparent colour (tests/testdata/make_png.sh) against ImageMagick's
// pixels over white; plus the two image operations on every layout.
#include "engine/picture_orientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/jpeg_codec.h"
#include "engine/picture_loader.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"
#include "reader_test_support.h"

namespace engine {
namespace {

using engine_test::Bytes;
using engine_test::ReadBytes;

std::string TestData(const std::string& folder, const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/" + folder + "/" + name;
}

// The 24-bit colour of every pixel, top row first.
Bytes RgbOf(const RasterImage& image) {
  Bytes rgb;
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    for (std::int32_t x = 0; x < image.Width(); ++x) {
      const std::uint8_t* p = image.Row(y) + static_cast<std::size_t>(x) * image.BytesPerPixel();
      if (image.BitsPerPixel() == 24) {
        rgb.insert(rgb.end(), p, p + 3);
      } else if (image.BitsPerPixel() == 8 && image.PaletteSize() > 0) {
        const PaletteEntry& e = image.PaletteEntries()[p[0]];
        rgb.insert(rgb.end(), {e.red, e.green, e.blue});
      } else if (image.BitsPerPixel() == 8) {
        rgb.insert(rgb.end(), {p[0], p[0], p[0]});
      } else {
        ADD_FAILURE() << "layout " << image.BitsPerPixel();
        return rgb;
      }
    }
  }
  return rgb;
}

int LargestDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

struct Size {
  int width = 0;
  int height = 0;
};
Size ReadSize(const std::string& path) {
  Size size;
  std::ifstream(path) >> size.width >> size.height;
  return size;
}

class PictureOrientationTest : public engine_test::ReaderTest {};

// ------------------------------------------------ orientation in the loader

// 4:4:4 at quality 95, decoded by libjpeg-turbo with its defaults in both
// programs: measured equal; 1 leaves room for another build of the library.
// A wrong turn moves the coloured corners, far more.
constexpr int kJpegTolerance = 1;

TEST_F(PictureOrientationTest, EveryOrientationOfJpegAndTiffFilesLoadsUpright) {
  struct Case {
    std::string name;
    int tolerance;
  };
  std::vector<Case> cases;
  for (int n = 1; n <= 8; ++n) {
    cases.push_back({"jpeg" + std::to_string(n) + ".jpg", kJpegTolerance});
    cases.push_back({"tiff" + std::to_string(n) + ".tif", 0});
  }
  cases.push_back({"jpeg6_intel.jpg", kJpegTolerance});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stem = c.name.substr(0, c.name.size() - 4);
    RasterImage image;
    ASSERT_EQ(LoadPicture(TestData("orientation", c.name).c_str(), image), ResultOk);
    const Size size = ReadSize(TestData("orientation", stem + ".size"));
    ASSERT_EQ(image.Width(), size.width);
    ASSERT_EQ(image.Height(), size.height);
    EXPECT_LE(LargestDifference(RgbOf(image), ReadBytes(TestData("orientation", stem + ".rgb"))),
              c.tolerance);
  }
}

TEST_F(PictureOrientationTest, ReadersThemselvesDeliverTheStoredRows) {
  // The orientation is applied once, by the loader: the readers alone give
  // the same rows for every orientation (libtiff's own partial flips are
  // switched off).
  RasterImage stored;
  ASSERT_EQ(engine_test::Load(TiffCodec(), TestData("orientation", "tiff1.tif"), stored), 1);
  for (int n = 2; n <= 8; ++n) {
    SCOPED_TRACE(n);
    RasterImage image;
    ASSERT_EQ(engine_test::Load(
                  TiffCodec(), TestData("orientation", "tiff" + std::to_string(n) + ".tif"), image),
              1);
    EXPECT_EQ(RgbOf(image), RgbOf(stored));
    RasterImage jpeg;
    ASSERT_EQ(engine_test::Load(JpegCodec(),
                                TestData("orientation", "jpeg" + std::to_string(n) + ".jpg"), jpeg),
              1);
    EXPECT_EQ(jpeg.Width(), 48);
  }
}

// ------------------------------------------------ over white in the loader

TEST_F(PictureOrientationTest, PngAlphaAndTransparentColoursLoadFlattenedOverWhite) {
  // Within 1 of ImageMagick, which composites the 16-bit values before
  // rounding them to 8 bits.
  for (const char* name :
       {"rgba8", "greyalpha8", "grey4_trns", "grey8_trns", "palette4_trns", "rgb8_trns", "rgba16",
        "grey2_trns", "grey16_trns", "greyalpha16", "rgb16_trns", "rgba16_direct",
        "rgb8_trns_direct", "palette4_trns_partial", "palette1_trns"}) {
    SCOPED_TRACE(name);
    RasterImage image;
    ASSERT_EQ(LoadPicture(TestData("png", std::string(name) + ".png").c_str(), image), ResultOk);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_LE(LargestDifference(RgbOf(image),
                                ReadBytes(TestData("png", std::string(name) + ".flat.rgb"))),
              1);
  }
}

// 16-bit files: within 1 of ImageMagick, whose scaling of 16-bit values to 8
// bits is not always the nearest (the codec's own test checks the exact
// rounding of every value).
TEST_F(PictureOrientationTest, OpaquePngFilesKeepTheirLayoutAndPixels) {
  const struct {
    const char* name;
    int bits;
    bool paletted;
    int tolerance;
  } cases[] = {{"grey1", 8, false, 0},   {"grey4", 8, false, 0},   {"grey8", 8, false, 0},
               {"palette2", 8, true, 0}, {"palette8", 8, true, 0}, {"rgb8", 24, false, 0},
               {"grey16", 8, false, 1},  {"rgb16", 24, false, 1},  {"grey16_all", 8, false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RasterImage loaded;
    ASSERT_EQ(LoadPicture(TestData("png", std::string(c.name) + ".png").c_str(), loaded), ResultOk);
    EXPECT_EQ(loaded.BitsPerPixel(), c.bits);
    EXPECT_EQ(loaded.PaletteSize() > 0, c.paletted);
    const std::string flat = TestData("png", std::string(c.name) + ".flat.rgb");
    if (std::ifstream(flat).good()) {
      EXPECT_LE(LargestDifference(RgbOf(loaded), ReadBytes(flat)), c.tolerance);
    }
  }
}

// ------------------------------------------------ the operations themselves

// A 3 x 2 picture a b c / d e f and what each orientation makes of it.
TEST_F(PictureOrientationTest, EachOrientationMovesEveryPixelWhereExifSays) {
  const struct {
    int orientation;
    int width;
    const char* upright;  // rows top first
  } cases[] = {{1, 3, "abcdef"}, {2, 3, "cbafed"}, {3, 3, "fedcba"}, {4, 3, "defabc"},
               {5, 2, "adbecf"}, {6, 2, "daebfc"}, {7, 2, "fcebda"}, {8, 2, "cfbead"},
               {0, 3, "abcdef"}, {9, 3, "abcdef"}};
  for (const int bits : {8, 16, 24, 32}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(bits) + " bits, orientation " + std::to_string(c.orientation));
      RasterImage image;
      ASSERT_EQ(image.Create(3, 2, bits, bits == 8 ? 7 : 0), 1);
      if (bits == 8) {
        for (int i = 0; i < 7; ++i)
          image.PaletteEntries()[i].red = static_cast<std::uint8_t>(10 * i);
      }
      const int bytes = bits / 8;
      for (int i = 0; i < 6; ++i) {
        for (int b = 0; b < bytes; ++b) {
          image.PixelData()[i * bytes + b] = static_cast<std::uint8_t>('a' + i + 16 * b);
        }
      }
      ASSERT_EQ(ApplyOrientation(image, c.orientation), 1);
      ASSERT_EQ(image.Width(), c.width);
      ASSERT_EQ(image.Height(), 6 / c.width);
      ASSERT_EQ(image.BitsPerPixel(), bits);
      std::string got;
      for (int i = 0; i < 6; ++i) {
        for (int b = 1; b < bytes; ++b) {
          ASSERT_EQ(image.PixelData()[i * bytes + b], image.PixelData()[i * bytes] + 16 * b)
              << "pixels move whole";
        }
        got += static_cast<char>(image.PixelData()[i * bytes]);
      }
      EXPECT_EQ(got, c.upright);
      if (bits == 8) {
        ASSERT_EQ(image.PaletteSize(), 7);
        EXPECT_EQ(image.PaletteEntries()[6].red, 60) << "the palette comes along";
      }
    }
  }
  EXPECT_EQ(temp.Entries().size(), 0u) << "replaced storage leaves no backing file";
}

TEST_F(PictureOrientationTest, FlatteningIsTheRoundedMixWithWhiteForEveryAlphaAndValue) {
  RasterImage image;
  ASSERT_EQ(image.Create(256, 256, 32, 0), 1);
  for (int alpha = 0; alpha < 256; ++alpha) {
    for (int value = 0; value < 256; ++value) {
      std::uint8_t* p = image.Row(alpha) + value * 4;
      p[0] = static_cast<std::uint8_t>(alpha);
      p[1] = static_cast<std::uint8_t>(value);
      p[2] = static_cast<std::uint8_t>(255 - value);
      p[3] = static_cast<std::uint8_t>(value / 2);
    }
  }
  ASSERT_EQ(FlattenOverWhite(image), 1);
  ASSERT_EQ(image.BitsPerPixel(), 24);
  ASSERT_EQ(image.ByteCount(), 256 * 256 * 3);
  const auto mix = [](int alpha, int value) {
    return static_cast<int>(std::floor((alpha * value + (255 - alpha) * 255) / 255.0 + 0.5));
  };
  for (int alpha = 0; alpha < 256; ++alpha) {
    for (int value = 0; value < 256; ++value) {
      const std::uint8_t* p = image.Row(alpha) + value * 3;
      ASSERT_EQ(p[0], mix(alpha, value)) << alpha << " " << value;
      ASSERT_EQ(p[1], mix(alpha, 255 - value)) << alpha << " " << value;
      ASSERT_EQ(p[2], mix(alpha, value / 2)) << alpha << " " << value;
    }
  }
  RasterImage grey;
  ASSERT_EQ(grey.Create(4, 4, 8, 0), 1);
  grey.PixelData()[5] = 77;
  ASSERT_EQ(FlattenOverWhite(grey), 1);
  EXPECT_EQ(grey.BitsPerPixel(), 8) << "only 32-bit pictures change";
  EXPECT_EQ(grey.PixelData()[5], 77);
}

}  // namespace
}  // namespace engine
