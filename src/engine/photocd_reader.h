// PhotoCdReader: the engine's reader of the three lowest resolutions of a
// PhotoCD image pack, converted from luminance and chrominance to RGB.
#pragma once

#include <cstdint>
#include <string>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

// Resolutions a PhotoCdReader reads, chosen when it is made.
constexpr int kPhotoCdBase16Resolution = 0;  // 192 x 128
constexpr int kPhotoCdBase4Resolution = 1;   // 384 x 256
constexpr int kPhotoCdBaseResolution = 2;    // 768 x 512, the one the loader reads

// Offset of the image-pack signature "PCD_IPI".
constexpr std::int64_t kPhotoCdSignatureOffset = 0x800;
// Where the base-resolution data ends: no image pack is shorter.
constexpr std::int64_t kPhotoCdMinimumFileBytes = 0x30000 + 768 * 512 * 3 / 2;

class PhotoCdReader final : public PictureReader {
 public:
  // Reads the image of the given resolution (0, 1 or 2); a reader made for
  // any other number refuses every file.
  explicit PhotoCdReader(int resolution = kPhotoCdBaseResolution) : resolution(resolution) {}
  ~PhotoCdReader() override { Close(); }

  // The open step: accepts a file carrying "PCD_IPI" at offset 0x800 that is
  // long enough to hold the base-resolution data, when the reader's
  // resolution is 0, 1 or 2 (variants PhotoCdBase16, PhotoCdBase4,
  // PhotoCdBase). Keeps the file open for Read. 1, or 0 with everything
  // released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: creates the image as a 24-bit picture of the chosen
  // resolution and converts every pair of rows, reporting progress per pair
  // and once more at the end, then closes. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  SourceVariant Variant() const { return variant; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  int ConvertRows();

  int resolution;  // chosen at construction; Close keeps it
  ProgressCallback callback = nullptr;
  InputFile file;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::string sourcePath;
  std::int32_t bitsPerPixel = 0;
  SourceVariant variant = SourceVariant::None;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t dataOffset = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
