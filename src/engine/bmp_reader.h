// BmpReader: the engine's reader of Windows and OS/2 bitmap files of every
// common depth: palette pictures of 1, 4 and 8 bits (also run-length encoded),
// 16 and 32 bits with bit-field masks or the default layouts, and 24 bits.
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

  // The open step: classifies the bitmap ("BM" or "BA" signature; the OS/2
  // 1.x core header, an OS/2 2.x header of 16 to 64 bytes, or a Windows
  // information header up to version 5) and accepts 1, 4 and 8 bits
  // uncompressed or run-length encoded (RLE8 needs 8 bits, RLE4 4 bits), 16
  // and 32 bits uncompressed or with bit-field masks, and 24 bits. Refused
  // before anything is allocated: headers too short for the fields the
  // picture needs, pixel data beyond the end of the file, dimensions below
  // 1, masks that are not one run of bits inside the pixel, palettes of more
  // than 2^bits entries or reaching past the end of the file, uncompressed
  // rows the file cannot hold, and pictures the engine cannot map. Keeps the
  // file open for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: fills the image top row first, reporting progress per row
  // and once more at the end, then closes. Palette pictures become 8 bits
  // with the file's palette (indices beyond it, and pixels run-length data
  // leaves unwritten, take entry 0); 16, 24 and 32 bits become 24 bits, or
  // 32 bits (alpha, red, green, blue) when a bit-field alpha mask is given
  // or a 32-bit picture without masks has any non-zero fourth byte. An image
  // already of exactly the resulting shape is reused. Run-length data that
  // ends early or runs past its row (beyond the padding an uncompressed row
  // would have) or past the picture fails. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  // What OpenRead recognised (None after Close).
  SourceVariant Variant() const { return variant; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  // Bits per pixel of the file.
  std::int32_t BitsPerPixel() const { return bitCount; }
  bool IsCoreHeader() const { return coreHeader; }
  bool IsBottomUp() const { return bottomUp; }
  std::uint32_t Compression() const { return compression; }
  std::int32_t PaletteLength() const { return paletteLength; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  // One channel of a 16- or 32-bit pixel: where its bits sit.
  struct Channel {
    std::uint32_t mask = 0;
    std::int32_t shift = 0;
    std::int32_t bits = 0;
  };

  // Reads and classifies both headers; false when the file is no bitmap or
  // its header block is damaged.
  bool ReadHeaders();
  bool ClassifyInfoHeader(const ByteCursor& block, std::uint32_t headerSize, bool os2);
  bool ClassifyCoreHeader(const ByteCursor& block);
  // The masks of a 16- or 32-bit picture, from the header or the defaults.
  bool ReadMasks(const ByteCursor& block, std::uint32_t headerSize);
  bool SetChannel(Channel& channel, std::uint32_t mask) const;
  // True when the palette and the declared rows fit the file and the
  // picture fits storage.
  bool PaletteFitsFile() const;
  bool RowsFitFile() const;
  std::int64_t FileRowBytes() const;
  bool IsRunLength() const;

  int DecodePicture();
  bool PrepareImage(std::int32_t bits);
  bool HasNonZeroFourthBytes();
  int DecodeRows();
  int DecodeRunLengths();
  void StoreRow(const std::uint8_t* from, std::uint8_t* to) const;

  ProgressCallback callback = nullptr;
  InputFile file;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::uint8_t fileHeader[14] = {};
  std::int64_t headerBlockSize = 0;       // pixel-data offset - 14
  std::vector<std::uint8_t> headerBlock;  // its leading bytes, as far as any header reaches
  std::uint32_t pixelDataOffset = 0;
  std::int64_t pixelDataBytes = 0;  // file size - pixel-data offset
  std::int64_t paletteOffset = 0;
  std::int32_t paletteLength = 0;      // entries of a palette picture, else 0
  std::int32_t paletteEntryBytes = 4;  // 3 in core-header files
  Channel red, green, blue, alpha;     // 16 and 32 bits
  bool fourthByteAlpha = false;        // 32 bits without masks: alpha if any byte is set
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
