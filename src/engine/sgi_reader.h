// SgiReader: the engine's reader of SGI image files (Iris RGB: .sgi, .rgb,
// .bw), stored verbatim or run-length encoded, 1 to 4 channels of 8 or 16
// bits.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class SgiReader final : public PictureReader {
 public:
  SgiReader() = default;
  ~SgiReader() override { Close(); }

  // The open step: accepts a file with the 512-byte header of magic 474,
  // storage verbatim or run-length encoded, 1 or 2 bytes per channel, 1 to 3
  // dimensions, 1 to 4 channels and the normal colour map, whose picture the
  // engine can map. Verbatim files must hold every channel row; run-length
  // files their offset and length tables, every row's data inside the file
  // behind the tables and long enough to encode a row. Keeps the file open
  // for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: creates the image (8-bit grey for one channel, 24 bits for
  // RGB, 32 bits of alpha, red, green, blue for grey or RGB with alpha),
  // scales 16-bit samples to 8 bits with rounding, turns the bottom-up rows
  // upright, reporting progress per row and once more at the end, then
  // closes. A run-length row that ends early or runs past the width fails.
  // 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  bool IsRunLength() const { return runLength; }
  std::int32_t BytesPerChannel() const { return bytesPerChannel; }
  std::int32_t Channels() const { return channels; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  // Of the image Read makes: 8, 24 or 32.
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }

 private:
  bool ReadHeader();
  bool ReadRowTables();
  int DecodeRows();
  // One channel of one row of the file (0 = bottom), as 8-bit samples.
  bool ReadChannelRow(std::int32_t channel, std::int32_t fileRow, std::uint8_t* samples);
  bool DecodeRunLengthRow(std::size_t byteCount, std::uint8_t* samples) const;

  ProgressCallback callback = nullptr;
  InputFile file;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  bool runLength = false;
  std::int32_t bytesPerChannel = 0;
  std::int32_t channels = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bitsPerPixel = 0;
  // Run-length files: where each channel row starts and how long it is,
  // indexed channel x height + row.
  std::unique_ptr<std::uint32_t[]> rowStarts;
  std::unique_ptr<std::uint32_t[]> rowLengths;
  // What one channel row is read into: its encoded or verbatim bytes.
  std::unique_ptr<std::uint8_t[]> encoded;
  std::size_t encodedCapacity = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
