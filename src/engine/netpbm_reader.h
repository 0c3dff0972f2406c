// NetpbmReader: the engine's reader of Netpbm's portable bitmap, greymap and
// pixmap files (PBM, PGM, PPM), plain and raw, any maxval up to 65535.
#pragma once

#include <cstdint>

#include "engine/buffered_input.h"
#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class NetpbmReader final : public PictureReader {
 public:
  NetpbmReader() = default;
  ~NetpbmReader() override { Close(); }

  // The open step: accepts a file starting with "P1" to "P6" whose header
  // (width, height and, but for bitmaps, a maxval of 1 to 65535, with
  // comments where Netpbm allows them) reads, whose picture the engine can
  // map and whose size can hold every sample (raw files: all rows; plain
  // files: one character per bitmap pixel, two per other sample). Keeps the
  // file open for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: creates the image (8-bit grey for bitmaps and greymaps,
  // black for a bitmap's 1, 24 bits for pixmaps), scales samples to 8 bits
  // with rounding, reporting progress per row and once more at the end, then
  // closes. Fails on a sample above maxval, a plain sample that is no number
  // or a file that ends before the last sample. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  // The digit of the magic number ('1' to '6'; 0 after Close).
  char Kind() const { return kind; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t Maxval() const { return maxval; }
  // Of the image Read makes: 8 or 24.
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }

 private:
  bool ReadHeader();
  bool HeaderDataFits() const;
  int DecodeRows();
  bool DecodeRow(std::uint8_t* row, std::uint8_t* scale);

  ProgressCallback callback = nullptr;
  InputFile file;
  BufferedInput input;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  char kind = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t maxval = 0;
  std::int32_t bitsPerPixel = 0;
  std::int64_t rasterOffset = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
