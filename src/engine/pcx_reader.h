// PcxReader: the engine's reader of run-length-encoded PCX files: 1 to 4
// bits (one plane of 4 bits or one to four planes of 1 bit, with the
// 16-colour palette of the header), 8 bits with a 256-colour palette at the end, 24
// bits in three planes and 32 bits (red, green, blue, alpha) in four.
#pragma once

#include <cstdint>
#include <string>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class PcxReader final : public PictureReader {
 public:
  PcxReader() = default;
  ~PcxReader() override { Close(); }

  // The open step: accepts a file whose 128-byte header starts with 0x0A,
  // whose window spans at least two columns and two rows, and whose planes x
  // bits per plane is 8 or 24, or 1 x 4, 1 to 4 x 1, or 4 x 8. Refused
  // besides: lines too short for the width (for 24 bits, planes shorter than
  // the width or fewer than three planes), pictures the engine cannot map,
  // and files too short to hold the compressed data of every line even at the
  // best possible compression (and, for 8 bits, the 768-byte palette). Keeps
  // the file open for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: creates the image (8 bits with the file's 256-entry
  // palette; 8 bits with the header's first 2^bits colours for 1 to 4 bits
  // (black and white for 1 bit when both are equal); 24 bits; 32 bits as
  // alpha, red, green, blue for four
  // planes of 8 bits), decodes every line, reporting progress per line and
  // once more at the end, then closes. A file whose compressed data ends
  // before the last line is complete fails. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  bool ReadHeader();
  int DecodeLines();
  // Bits of the image the file becomes: 8, 24 or 32.
  std::int32_t ImageBits() const;
  void StoreLine(const std::uint8_t* line, std::uint8_t* to) const;
  // Bytes of one decoded line: every plane of it.
  std::int64_t LineBytes() const;
  // Bytes of compressed data the file holds after the header.
  std::int64_t CompressedBytes() const;

  ProgressCallback callback = nullptr;
  InputFile file;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::uint8_t header[128] = {};
  std::string sourcePath;
  std::int32_t bitsPerPixel = 0;  // planes x bits per plane
  std::int32_t bitsPerPlane = 0;
  std::int32_t planes = 0;
  std::int32_t bytesPerLine = 0;  // of one plane
  std::int32_t width = 0;
  std::int32_t height = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
