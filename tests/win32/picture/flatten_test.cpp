// Backgrounds and flattening: transparent areas take the background colour
// before encoding; without a background nothing is drawn.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "picture/picture_win.h"
#include "picture_test_support.h"
#include "platform_call_watch.h"

using namespace picture_test;

namespace {

constexpr int32_t kWhite = 0x00FFFFFF;
constexpr int32_t kRed = 0x000000FF;  // 0x00BBGGRR
constexpr int32_t kBlue = 0x00FF0000;

// transparent.png: left half alpha 0; right half blue (top, opaque) and red
// (bottom, alpha 128).
struct Regions {
  uint32_t left, topRight, bottomRight;
};
Regions RegionsOf(const Pixels& p) {
  return {p.At(8, 8), p.At(48, 8), p.At(48, 24)};
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

class PictureFlattenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureImagingService(); }
  void SetUp() override {
    ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("transparent.png").c_str()));
    const Regions loaded = RegionsOf(PixelsOf(picture.Handle()));
    ASSERT_EQ(loaded.left >> 24, 0u) << "test picture has no transparent half";
  }
  Picture picture;
  TempFolder folder{"pc_picture"};
};

TEST(ColorToArgbTest, SwapsRedAndBlueAndAddsAlpha) {
  EXPECT_EQ(ColorToArgb(0x000000FF), 0xFFFF0000u);
  EXPECT_EQ(ColorToArgb(0x00FF0000, 128), 0x800000FFu);
  EXPECT_EQ(ColorToArgb(0x00FFFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(ColorToArgb(0x00123456, 0), 0x00563412u);
  EXPECT_EQ(ColorToArgb(0x7F123456), 0xFF563412u) << "bits 24..31 are ignored";
}

TEST_F(PictureFlattenTest, WhiteBackgroundMakesTransparentAreasOpaqueWhiteAtTheSameSize) {
  picture.SetBackground(kWhite);
  const std::string path = folder.File("flat.png");
  ASSERT_TRUE(picture.SaveToFile(path.c_str(), kFormatPng));
  const Pixels saved = DecodeFile(path);
  ASSERT_EQ(saved.width, 64u);
  ASSERT_EQ(saved.height, 32u);
  for (uint32_t pixel : saved.argb) ASSERT_EQ(pixel >> 24, 0xFFu) << "not opaque";
  const Regions r = RegionsOf(saved);
  EXPECT_EQ(r.left, 0xFFFFFFFFu);
  EXPECT_EQ(r.topRight, 0xFF0000FFu);
  // Half-transparent red over white.
  EXPECT_TRUE(Near(r.bottomRight, 0xFFFF7F7F, 2)) << std::hex << r.bottomRight;

  // The same from memory.
  const ByteBuffer encoded = picture.SaveToMemory(kFormatPng);
  EXPECT_EQ(MaxChannelDifference(DecodeBytes(encoded.Data(), encoded.Size()), saved), 0);
}

TEST_F(PictureFlattenTest, FlattenSwapsInAnOpaqueCopyAndEmptiesTheSizeCache) {
  ASSERT_EQ(picture.Width(), 64u);
  Gdiplus::GpImage* const before = picture.Handle();
  picture.SetBackground(kRed);
  PlatformCallWatch watch;
  picture.Flatten();
  EXPECT_NE(picture.Handle(), before);
  ASSERT_EQ(watch.Calls().imagesDisposed.size(), 1u);
  EXPECT_EQ(watch.Calls().imagesDisposed[0], before);
  EXPECT_EQ(watch.Calls().imageWidth, 0) << "the cached size was not used";

  const Regions r = RegionsOf(PixelsOf(picture.Handle()));
  EXPECT_EQ(r.left, 0xFFFF0000u);
  EXPECT_EQ(r.topRight, 0xFF0000FFu);
  EXPECT_TRUE(Near(r.bottomRight, 0xFFFF0000, 2)) << std::hex << r.bottomRight;

  watch.Clear();
  EXPECT_EQ(picture.Width(), 64u);
  EXPECT_EQ(picture.Height(), 32u);
  EXPECT_EQ(watch.Calls().imageWidth, 1) << "the size is asked again after flattening";
}

TEST_F(PictureFlattenTest, OpaquePicturesKeepTheirPixelsUnscaled) {
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.bmp").c_str()));
  const Pixels before = PixelsOf(picture.Handle());
  picture.SetBackground(kBlue);
  picture.Flatten();
  EXPECT_EQ(MaxChannelDifference(PixelsOf(picture.Handle()), before), 0);
}

TEST_F(PictureFlattenTest, WithoutBackgroundFlattenCallsNothingAndSavesKeepTransparency) {
  Gdiplus::GpImage* const before = picture.Handle();
  PlatformCallWatch watch;
  picture.Flatten();
  EXPECT_EQ(watch.Calls().TotalGdiplusCalls(), 0);
  EXPECT_EQ(picture.Handle(), before);

  const std::string path = folder.File("kept.png");
  ASSERT_TRUE(picture.SaveToFile(path.c_str(), kFormatPng));
  EXPECT_EQ(watch.Calls().createBitmapFromScan0, 0);
  EXPECT_EQ(picture.Handle(), before);
  EXPECT_EQ(RegionsOf(DecodeFile(path)).left >> 24, 0u);
}

TEST_F(PictureFlattenTest, NegativeBackgroundRemovesTheBrush) {
  PlatformCallWatch watch;
  picture.SetBackground(kWhite);
  picture.SetBackground(-1);
  ASSERT_EQ(watch.Calls().brushesCreated.size(), 1u);
  EXPECT_EQ(watch.Calls().brushesDeleted, watch.Calls().brushesCreated);

  const std::string path = folder.File("unflattened.png");
  ASSERT_TRUE(picture.SaveToFile(path.c_str(), kFormatPng));
  EXPECT_EQ(watch.Calls().createBitmapFromScan0, 0);
  EXPECT_EQ(RegionsOf(DecodeFile(path)).left >> 24, 0u);
}

TEST_F(PictureFlattenTest, NewBackgroundReplacesTheOldBrush) {
  PlatformCallWatch watch;
  picture.SetBackground(kRed);
  picture.SetBackground(kBlue);
  ASSERT_EQ(watch.Calls().brushesCreated.size(), 2u);
  ASSERT_EQ(watch.Calls().brushesDeleted.size(), 1u);
  EXPECT_EQ(watch.Calls().brushesDeleted[0], watch.Calls().brushesCreated[0]);
  picture.Flatten();
  EXPECT_EQ(RegionsOf(PixelsOf(picture.Handle())).left, 0xFF0000FFu);
}

TEST_F(PictureFlattenTest, BrushOutlivesDisposeAndDiesOnceWithThePicture) {
  PlatformCallWatch watch;
  {
    Picture withBackground;
    withBackground.SetBackground(kWhite);
    ASSERT_TRUE(withBackground.LoadFromFile(TestPicturePath("transparent.png").c_str()));
    withBackground.Dispose();
    EXPECT_TRUE(watch.Calls().brushesDeleted.empty()) << "Dispose deleted the brush";
    // Still there for the next picture loaded into the same object.
    ASSERT_TRUE(withBackground.LoadFromFile(TestPicturePath("transparent.png").c_str()));
    withBackground.Flatten();
    EXPECT_EQ(RegionsOf(PixelsOf(withBackground.Handle())).left, 0xFFFFFFFFu);
  }
  ASSERT_EQ(watch.Calls().brushesCreated.size(), 1u);
  EXPECT_EQ(watch.Calls().brushesDeleted, watch.Calls().brushesCreated);
}

TEST_F(PictureFlattenTest, WithoutAGraphicsContextThePictureStaysAsItWas) {
  picture.SetBackground(kWhite);
  Gdiplus::GpImage* const before = picture.Handle();
  PlatformCallWatch watch;
  watch.failGraphicsContext = true;
  picture.Flatten();
  EXPECT_EQ(picture.Handle(), before);
  // The blank bitmap made for the copy is released again.
  EXPECT_EQ(watch.Calls().createBitmapFromScan0, 1);
  ASSERT_EQ(watch.Calls().imagesDisposed.size(), 1u);
  EXPECT_NE(watch.Calls().imagesDisposed[0], before);
  EXPECT_EQ(RegionsOf(PixelsOf(picture.Handle())).left >> 24, 0u);
}

}  // namespace
