// The size of a picture: asked of GDI+ once per loaded image, zero when empty.

#include <gtest/gtest.h>

#include "picture/picture_win.h"
#include "picture_test_support.h"
#include "platform_call_watch.h"

using namespace picture_test;

namespace {

class PictureSizeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureImagingService(); }
};

TEST_F(PictureSizeTest, GdiplusIsAskedOnceForEachLoadedImage) {
  Picture picture;
  PlatformCallWatch watch;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.png").c_str()));
  EXPECT_EQ(picture.Width(), 64u);
  EXPECT_EQ(picture.Width(), 64u);
  EXPECT_EQ(picture.Height(), 32u);
  uint32_t w = 0, h = 0;
  picture.GetSize(w, h);
  EXPECT_EQ(watch.Calls().imageWidth, 1);
  EXPECT_EQ(watch.Calls().imageHeight, 1);

  // A new image is asked afresh, once.
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("texture.png").c_str()));
  EXPECT_EQ(picture.Height(), 64u);
  EXPECT_EQ(picture.Width(), 96u);
  EXPECT_EQ(watch.Calls().imageWidth, 2);
  EXPECT_EQ(watch.Calls().imageHeight, 2);
}

TEST_F(PictureSizeTest, GetSizeGivesTheWidthFirstAndTheHeightSecond) {
  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("texture.png").c_str()));
  uint32_t first = 0, second = 0;
  picture.GetSize(first, second);
  EXPECT_EQ(first, 96u);
  EXPECT_EQ(second, 64u);
  // Also when the size is already cached.
  picture.GetSize(first, second);
  EXPECT_EQ(first, 96u);
  EXPECT_EQ(second, 64u);
}

TEST_F(PictureSizeTest, EmptyPictureIsZeroBySizeWithoutAskingGdiplus) {
  PlatformCallWatch watch;
  Picture picture;
  EXPECT_EQ(picture.Width(), 0u);
  EXPECT_EQ(picture.Height(), 0u);
  uint32_t w = 7, h = 7;
  picture.GetSize(w, h);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);

  EXPECT_FALSE(picture.LoadFromFile(TestPicturePath("no_such_picture.bmp").c_str()));
  EXPECT_EQ(picture.Width(), 0u);
  EXPECT_EQ(picture.Height(), 0u);
  EXPECT_EQ(watch.Calls().imageWidth, 0);
  EXPECT_EQ(watch.Calls().imageHeight, 0);
}

TEST_F(PictureSizeTest, DisposeClearsTheCachedSize) {
  Picture picture;
  ASSERT_TRUE(picture.LoadFromFile(TestPicturePath("pattern.gif").c_str()));
  ASSERT_EQ(picture.Width(), 64u);
  picture.Dispose();
  EXPECT_EQ(picture.Width(), 0u);
  EXPECT_EQ(picture.Height(), 0u);
}

}  // namespace
