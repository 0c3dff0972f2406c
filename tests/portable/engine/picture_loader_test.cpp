// LoadPicture against files written by other programs
// (tests/testdata/make_commands.sh): which reader decodes a file is decided by
// content and probe order alone, the first reader that accepts a file has the
// last word, and everything that is no readable picture ends in the right code
// with nothing left in the temporary folder.
#include "engine/picture_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/gif_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/photocd_reader.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"
#include "picture_file_checks.h"
#include "private_temp_folder.h"
#include "reader_test_support.h"

namespace engine {
namespace {

using command_test::CompareWith;
using command_test::DataPath;
using command_test::Difference;
using command_test::ReadReference;
using command_test::Reference;

class PictureLoaderTest : public engine_test::TempFolderTest {
 protected:
  // Loads name from the test pictures and compares it with NAME.ppm (or the
  // reference given).
  void ExpectLoadsAs(const std::string& name, const std::string& referenceName, std::int32_t bits) {
    SCOPED_TRACE(name);
    RasterImage image;
    ASSERT_EQ(LoadPicture(DataPath(name).c_str(), image), ResultOk);
    EXPECT_EQ(image.BitsPerPixel(), bits);
    const Reference reference = ReadReference(DataPath(referenceName));
    const Difference difference = CompareWith(image, reference);
    EXPECT_EQ(difference.largest, 0);
  }

  // True when the PhotoCD reader, if it were asked, would decode the file.
  static bool PhotoCdWouldRead(const std::string& path) {
    RasterImage image;
    return engine_test::Load(PhotoCdReader(kPhotoCdBaseResolution), path, image) == 1 &&
           image.Width() == 768 && image.Height() == 512;
  }

  static int Load(const std::string& path) {
    RasterImage image;
    const int result = LoadPicture(path.c_str(), image);
    if (result != ResultOk) {
      EXPECT_TRUE(image.IsEmpty()) << path;
    }
    return result;
  }
};

TEST_F(PictureLoaderTest, EveryReadableFormatLoadsWithTheIndependentDecodersPixels) {
  ExpectLoadsAs("jpeg.jpg", "jpeg.ppm", 24);
  ExpectLoadsAs("grey.jpg", "grey_jpg.ppm", 8);
  ExpectLoadsAs("bmp24.bmp", "bmp24.ppm", 24);
  ExpectLoadsAs("bmp8.bmp", "bmp8.ppm", 8);
  ExpectLoadsAs("tiff.tif", "tiff.ppm", 24);
  ExpectLoadsAs("deflate.tif", "tiff.ppm", 24);
  ExpectLoadsAs("png_rgb.png", "png_rgb.ppm", 24);
  ExpectLoadsAs("png_grey.png", "png_grey.ppm", 8);
  ExpectLoadsAs("png_palette.png", "png_palette.ppm", 8);
  // Flattened over white: before, the alpha file loaded as 32 bits.
  ExpectLoadsAs("png_rgba.png", "png_rgba_white.ppm", 24);
  ExpectLoadsAs("png16.png", "png16.ppm", 24);
  ExpectLoadsAs("pcx24.pcx", "pcx24.ppm", 24);
  ExpectLoadsAs("pcx8.pcx", "pcx8.ppm", 8);
  ExpectLoadsAs("gif.gif", "gif.ppm", 8);
}

TEST_F(PictureLoaderTest, FileNameExtensionPlaysNoPart) {
  ExpectLoadsAs("png_named.jpg", "png_named.ppm", 24);

  const std::string jpegNamedPng = files.FilePath("picture.png");
  std::filesystem::copy_file(DataPath("jpeg.jpg"), jpegNamedPng);
  RasterImage image;
  ASSERT_EQ(LoadPicture(jpegNamedPng.c_str(), image), ResultOk);
  EXPECT_EQ(CompareWith(image, ReadReference(DataPath("jpeg.ppm"))).largest, 0);
}

// Each of these files is a small picture padded to an image pack's length
// with the pack's signature in place, so the PhotoCD reader would take it
// too; the reader ahead of it in the probe order must win.
TEST_F(PictureLoaderTest, ReadersAheadInTheProbeOrderWinOverPhotoCd) {
  for (const char* name : {"jpeg_pcd.jpg", "bmp_pcd.bmp", "tiff_pcd.tif", "png_pcd.png",
                           "pcx_pcd.pcx", "gif_pcd.gif"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(PhotoCdWouldRead(DataPath(name)));
    RasterImage image;
    ASSERT_EQ(LoadPicture(DataPath(name).c_str(), image), ResultOk);
    EXPECT_EQ(image.Width(), 16);
    EXPECT_EQ(image.Height(), 12);
    const std::string stem = std::string(name).substr(0, std::string(name).find('.'));
    EXPECT_EQ(CompareWith(image, ReadReference(DataPath(stem + ".ppm"))).largest, 0);
  }
}

TEST_F(PictureLoaderTest, JpegSignatureWithAnUnreadableHeaderIsPassedOnToLaterReaders) {
  const std::string path = DataPath("not_jpeg_pcd.bin");
  const command_test::Bytes bytes = command_test::FileBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  ASSERT_EQ(bytes[0], 0xFF);
  ASSERT_EQ(bytes[1], 0xD8);
  {
    RasterImage unused;
    JpegCodec jpeg;
    ASSERT_EQ(jpeg.OpenRead(path.c_str(), unused), 0);
  }
  RasterImage image;
  ASSERT_EQ(LoadPicture(path.c_str(), image), ResultOk);
  EXPECT_EQ(image.Width(), 768);
  EXPECT_EQ(image.Height(), 512);
  EXPECT_EQ(image.BitsPerPixel(), 24);
}

TEST_F(PictureLoaderTest, PhotoCdImagePackLoadsAtBaseResolution) {
  RasterImage image;
  ASSERT_EQ(LoadPicture(DataPath("photocd.pcd").c_str(), image), ResultOk);
  ASSERT_EQ(image.Width(), 768);
  ASSERT_EQ(image.Height(), 512);
  ASSERT_EQ(image.BitsPerPixel(), 24);
  // Written red on the left half and blue on the right; the pack's colour
  // coding is lossy, so only the dominant channel is checked, away from the
  // middle where the chrominance is shared.
  for (int y = 8; y < 512; y += 50) {
    const command_test::Rgb left = command_test::ColourAt(image, 100, y);
    const command_test::Rgb right = command_test::ColourAt(image, 660, y);
    EXPECT_GT(left.red, left.blue + 100) << "row " << y;
    EXPECT_GT(right.blue, right.red + 100) << "row " << y;
  }
}

// The reader that accepts a file decides alone: when its decoding fails, the
// load fails, even though the PhotoCD reader would have read the same file.
TEST_F(PictureLoaderTest, AcceptedFileWhoseDecodingFailsEndsTheSearch) {
  {
    const std::string path = DataPath("zstd_pcd.tif");
    SCOPED_TRACE(path);
    RasterImage probe;
    TiffCodec tiff;
    ASSERT_EQ(tiff.OpenRead(path.c_str(), probe), 1);
    ASSERT_EQ(tiff.Read(), 0);
    ASSERT_TRUE(PhotoCdWouldRead(path));
    EXPECT_EQ(Load(path), ResultNotReadable);
  }
  {
    const std::string path = DataPath("damaged_png_pcd.png");
    SCOPED_TRACE(path);
    RasterImage probe;
    PngCodec png;
    ASSERT_EQ(png.OpenRead(path.c_str(), probe), 1);
    ASSERT_EQ(png.Read(), 0);
    ASSERT_TRUE(PhotoCdWouldRead(path));
    EXPECT_EQ(Load(path), ResultNotReadable);
  }
  {
    const std::string path = DataPath("bad_code_size_pcd.gif");
    SCOPED_TRACE(path);
    RasterImage probe;
    GifReader gif;
    ASSERT_EQ(gif.OpenRead(path.c_str(), probe), 1);
    ASSERT_EQ(gif.Read(), 0);
    ASSERT_TRUE(PhotoCdWouldRead(path));
    EXPECT_EQ(Load(path), ResultNotReadable);
  }
  EXPECT_EQ(Load(DataPath("zstd.tif")), ResultNotReadable);
}

TEST_F(PictureLoaderTest, FilesNoReaderAcceptsAreNotReadable) {
  for (const char* name : {"text.txt", "empty.bin", "bmp_jpeg.bmp", "zstd.tif"}) {
    EXPECT_EQ(Load(DataPath(name)), ResultNotReadable) << name;
  }
}

// Without the image pack's signature, length alone makes no PhotoCD file.
TEST_F(PictureLoaderTest, LargeFilesWithoutTheImagePackSignatureAreNotReadable) {
  for (const char* name : {"text_large.txt", "bmp_jpeg_large.bmp"}) {
    ASSERT_GE(std::filesystem::file_size(DataPath(name)), 1048576u) << name;
    EXPECT_EQ(Load(DataPath(name)), ResultNotReadable) << name;
  }
}

TEST_F(PictureLoaderTest, PathsThatNameNothingAreNotFound) {
  EXPECT_EQ(Load(DataPath("no_such_picture.png")), ResultFileNotFound);
  EXPECT_EQ(Load(DataPath("no_such_folder/png_rgb.png")), ResultFileNotFound);
  EXPECT_EQ(Load(""), ResultFileNotFound);
  RasterImage image;
  EXPECT_EQ(LoadPicture(nullptr, image), ResultFileNotFound);
}

// A search pattern would find png_rgb.png; the existence test asks about the
// path itself, and no file of that literal name exists.
TEST_F(PictureLoaderTest, PathsWithWildcardsDoNotCountAsExisting) {
  EXPECT_EQ(Load(DataPath("png_rgb.pn?")), ResultFileNotFound);
  EXPECT_EQ(Load(DataPath("png_rgb.*")), ResultFileNotFound);
  EXPECT_EQ(Load(DataPath("*")), ResultFileNotFound);
}

TEST_F(PictureLoaderTest, FoldersExistButNoReaderTakesThem) {
  EXPECT_EQ(Load(std::string(PC_TESTDATA_DIR) + "/commands"), ResultNotReadable);
  const std::string folderNamedLikeAPicture = files.FilePath("folder.jpg");
  std::filesystem::create_directory(folderNamedLikeAPicture);
  EXPECT_EQ(Load(folderNamedLikeAPicture), ResultNotReadable);
}

TEST_F(PictureLoaderTest, LoadReplacesWhatTheImageHeldAndFailureEmptiesIt) {
  RasterImage image;
  ASSERT_EQ(image.Create(5, 5, 32, 0), 1);
  ASSERT_EQ(LoadPicture(DataPath("bmp24.bmp").c_str(), image), ResultOk);
  EXPECT_EQ(image.Width(), 37);
  EXPECT_EQ(image.BitsPerPixel(), 24);

  ASSERT_EQ(LoadPicture(DataPath("text.txt").c_str(), image), ResultNotReadable);
  EXPECT_TRUE(image.IsEmpty());
  ASSERT_EQ(image.Create(5, 5, 8, 0), 1);
  ASSERT_EQ(LoadPicture(DataPath("no_such_picture.png").c_str(), image), ResultFileNotFound);
  EXPECT_TRUE(image.IsEmpty());
  // Whatever the outcome, the image stays usable.
  ASSERT_EQ(LoadPicture(DataPath("png_palette.png").c_str(), image), ResultOk);
  EXPECT_EQ(CompareWith(image, ReadReference(DataPath("png_palette.ppm"))).largest, 0);
}

}  // namespace
}  // namespace engine
