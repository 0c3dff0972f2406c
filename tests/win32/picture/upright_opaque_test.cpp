// What folder and drop runs do to a picture the imaging service has read
// before it is saved: turned upright by the orientation its file records,
// and flattened over white where it has alpha or a transparent colour.
// Compared with ImageMagick's pixels of the same files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exif_orientation.h"
#include "base/exif_orientation_win.h"
#include "picture/picture_win.h"
#include "picture_test_support.h"

using namespace picture_test;

namespace {

// NAME.rgb (raw 8-bit RGB, top row first) as opaque pixels of the given size.
Pixels ReferencePixels(const std::string& rgbPath, uint32_t width, uint32_t height) {
  const std::vector<uint8_t> rgb = ReadFileBytes(rgbPath);
  Pixels pixels;
  if (rgb.size() != static_cast<size_t>(width) * height * 3) return pixels;
  pixels.width = width;
  pixels.height = height;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    pixels.argb.push_back(0xFF000000u | rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  }
  return pixels;
}

std::string OrientationPath(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/orientation/" + name;
}

struct OrientedFile {
  const char* name;  // in orientation/, beside NAME.rgb and NAME.size
  const char* extension;
  int orientation;
  int tolerance;  // two JPEG decoders' rounding
};

class PictureUprightTest : public ::testing::TestWithParam<OrientedFile> {
 protected:
  static void SetUpTestSuite() { EnsureImagingService(); }
};

TEST_P(PictureUprightTest, StandsAsImageMagickShowsItAndSavesWithoutTheTag) {
  const OrientedFile& file = GetParam();
  const std::string path = OrientationPath(std::string(file.name) + file.extension);
  EXPECT_EQ(FileOrientation(path.c_str()), file.orientation);

  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(path.c_str()));
  ASSERT_TRUE(picture.TurnUpright(FileOrientation(path.c_str())));
  ASSERT_TRUE(picture.FlattenOverWhite());

  const std::vector<uint8_t> size =
      ReadFileBytes(OrientationPath(std::string(file.name) + ".size"));
  const bool wide = std::string(size.begin(), size.end()).rfind("48 30", 0) == 0;
  const Pixels expected = ReferencePixels(OrientationPath(std::string(file.name) + ".rgb"),
                                          wide ? 48 : 30, wide ? 30 : 48);
  ASSERT_FALSE(expected.argb.empty());
  EXPECT_EQ(picture.Width(), expected.width);
  EXPECT_EQ(picture.Height(), expected.height);
  EXPECT_LE(MaxChannelDifference(PixelsOf(picture.Handle()), expected), file.tolerance);

  // A viewer must not turn the saved picture again.
  const ByteBuffer saved = picture.SaveToMemory(kFormatJpeg);
  ASSERT_FALSE(saved.Empty());
  EXPECT_EQ(JpegOrientation(saved.Data(), saved.Size()), kOrientationUpright);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOrientation, PictureUprightTest,
    ::testing::Values(OrientedFile{"jpeg1", ".jpg", 1, 6}, OrientedFile{"jpeg2", ".jpg", 2, 6},
                      OrientedFile{"jpeg3", ".jpg", 3, 6}, OrientedFile{"jpeg4", ".jpg", 4, 6},
                      OrientedFile{"jpeg5", ".jpg", 5, 6}, OrientedFile{"jpeg6", ".jpg", 6, 6},
                      OrientedFile{"jpeg7", ".jpg", 7, 6}, OrientedFile{"jpeg8", ".jpg", 8, 6},
                      OrientedFile{"jpeg6_intel", ".jpg", 6, 6},
                      OrientedFile{"tiff1", ".tif", 1, 0}, OrientedFile{"tiff3", ".tif", 3, 0},
                      OrientedFile{"tiff6", ".tif", 6, 0}, OrientedFile{"tiff7", ".tif", 7, 0}),
    [](const ::testing::TestParamInfo<OrientedFile>& info) {
      return std::string(info.param.name);
    });

TEST(PictureUprightTest, FilesThatRecordNoOrientationStandAsStored) {
  EXPECT_EQ(FileOrientation(TestPicturePath("pattern.png").c_str()), kOrientationUpright);
  EXPECT_EQ(FileOrientation(OrientationPath("plain.jpg").c_str()), kOrientationUpright);
  EXPECT_EQ(FileOrientation(TestPicturePath("no_such_file.jpg").c_str()), kOrientationUpright);
}

class PictureOverWhiteTest : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() { EnsureImagingService(); }
};

// Within 1: ImageMagick composites in floating point.
TEST_P(PictureOverWhiteTest, TransparencyBecomesWhiteAsImageMagickShowsIt) {
  const std::string name = GetParam();
  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("over_white/" + name).c_str()));
  ASSERT_TRUE(picture.FlattenOverWhite());
  const Pixels expected = ReferencePixels(
      TestPicturePath("over_white/" + name.substr(0, name.rfind('.')) + ".rgb"), 37, 23);
  EXPECT_LE(MaxChannelDifference(PixelsOf(picture.Handle()), expected), 1);
  Gdiplus::PixelFormat layout = 0;
  Gdiplus::DllExports::GdipGetImagePixelFormat(picture.Handle(), &layout);
  EXPECT_EQ(layout, PixelFormat24bppRGB);
}

INSTANTIATE_TEST_SUITE_P(AlphaAndTransparentColours, PictureOverWhiteTest,
                         ::testing::Values("rgba8.png", "grey_alpha.png", "palette_trns.png",
                                           "transparent.gif"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           const std::string name = info.param;
                           return name.substr(0, name.rfind('.'));
                         });

// An opaque picture keeps its very image, so it saves to the bytes it did.
TEST(PictureOverWhiteTest, OpaquePicturesAreLeftAlone) {
  EnsureImagingService();
  for (const char* name : {"pattern.png", "pattern.gif", "pattern.jpg", "pattern.bmp"}) {
    Picture picture;
    ASSERT_TRUE(picture.LoadFromFile(TestPicturePath(name).c_str())) << name;
    Gdiplus::GpImage* const loaded = picture.Handle();
    EXPECT_TRUE(picture.FlattenOverWhite()) << name;
    EXPECT_TRUE(picture.TurnUpright(kOrientationUpright)) << name;
    EXPECT_EQ(picture.Handle(), loaded) << name;
  }
}

}  // namespace
