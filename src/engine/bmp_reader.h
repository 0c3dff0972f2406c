// BmpReader: the engine's reader of 24-bit Windows and OS/2 bitmap files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class BmpReader final : public PictureReader {
 public:
  BmpReader() = default;
  ~BmpReader() override { Close(); }

  // The open step: classifies the bitmap ("BM" or "BA" signature, Windows
  // information header or OS/2 core header) and accepts only uncompressed or
  // bit-field 24-bit pictures (variants BmpWindows24 and BmpOs2Core24).
  // Headers too short for their fields, pixel data starting beyond the end of
  // the file, dimensions below 1, and pictures whose rows the file cannot
  // hold or whose storage the engine cannot map are refused before anything
  // is allocated. Keeps the file open for Read. 1, or 0 with everything
  // released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: (re)creates the image as width x height, 24 bits (an image
  // already of exactly that shape is reused), fills it top row first as red,
  // green, blue, reporting progress per row and once more at the end, then
  // closes. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  // What OpenRead recognised (None after Close).
  SourceVariant Variant() const { return variant; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t BitsPerPixel() const { return bitCount; }
  bool IsCoreHeader() const { return coreHeader; }
  bool IsBottomUp() const { return bottomUp; }
  std::uint32_t Compression() const { return compression; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  // Reads and classifies both headers; false when the file is no bitmap or
  // its header block is damaged.
  bool ReadHeaders();
  bool ClassifyWindowsHeader(const ByteCursor& block);
  bool ClassifyCoreHeader(const ByteCursor& block);
  // True when the declared rows fit the file and the picture fits storage.
  bool RowsFitFile() const;
  std::int64_t FileRowBytes() const;
  int DecodeRows();

  ProgressCallback callback = nullptr;
  InputFile file;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::uint8_t fileHeader[14] = {};
  std::int64_t headerBlockSize = 0;       // pixel-data offset - 14
  std::vector<std::uint8_t> headerBlock;  // its leading bytes, as far as any header reaches
  std::uint32_t pixelDataOffset = 0;
  std::int64_t pixelDataBytes = 0;  // file size - pixel-data offset
  std::int32_t paletteLength = 0;   // 2^bit count up to 8 bits, else 0
  std::string sourcePath;
  std::int32_t bitCount = 0;
  SourceVariant variant = SourceVariant::None;
  bool coreHeader = false;
  std::uint32_t compression = 0;
  bool bottomUp = false;
  std::int32_t width = 0;
  std::int32_t height = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
