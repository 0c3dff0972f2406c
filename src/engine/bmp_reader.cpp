// Windows and OS/2 bitmap files (BITMAPFILEHEADER followed by a
// BITMAPINFOHEADER or one of its longer successors, or by the OS/2
// BITMAPCOREHEADER), as Microsoft's wingdi.h lays them out; little-endian.
#include "engine/bmp_reader.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kPixelOffsetField = 10;
constexpr std::uint32_t kCoreHeaderSize = 12;

// Bytes of the header block the fields below reach into: the core header's
// width, height, planes and bit count; the information header's up to and
// including the compression field.
constexpr std::int64_t kCoreFieldBytes = 12;
constexpr std::int64_t kWindowsFieldBytes = 20;
// The longest header (BITMAPV5HEADER). Bytes beyond it (masks, palettes,
// gaps before the pixels) are never looked at, so they are not read.
constexpr std::int64_t kLongestHeaderBytes = 124;

// Offsets inside the header block.
constexpr std::size_t kWidthField = 4;
constexpr std::size_t kHeightField = 8;
constexpr std::size_t kWindowsBitCountField = 14;
constexpr std::size_t kCompressionField = 16;
constexpr std::size_t kCoreWidthField = 4;
constexpr std::size_t kCoreHeightField = 6;
constexpr std::size_t kCoreBitCountField = 10;

constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;

constexpr std::int32_t kReadableBits = 24;

SourceVariant WindowsVariant(std::int32_t bitCount) {
  switch (bitCount) {
    case 1:
      return SourceVariant::BmpWindows1;
    case 4:
      return SourceVariant::BmpWindows4;
    case 8:
      return SourceVariant::BmpWindows8;
    case 16:
      return SourceVariant::BmpWindows16;
    case 24:
      return SourceVariant::BmpWindows24;
    case 32:
      return SourceVariant::BmpWindows32;
    default:
      return SourceVariant::None;
  }
}

SourceVariant CoreVariant(std::int32_t bitCount) {
  switch (bitCount) {
    case 1:
      return SourceVariant::BmpOs2Core1;
    case 4:
      return SourceVariant::BmpOs2Core4;
    case 8:
      return SourceVariant::BmpOs2Core8;
    case 24:
      return SourceVariant::BmpOs2Core24;
    default:
      return SourceVariant::None;
  }
}

}  // namespace

int BmpReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !ReadHeaders()) {
    Close();
    return 0;
  }
  callback = progress;
  sourcePath = path;
  targetImage = &image;
  // Bit-field masks (compression 3) mean nothing at 24 bits: such rows are
  // read as plain blue, green, red like compression 0.
  if (bitCount != kReadableBits || !RowsFitFile()) {
    Close();
    return 0;
  }
  readyToRead = true;
  return 1;
}

bool BmpReader::ReadHeaders() {
  if (!file.ReadAt(0, fileHeader, kFileHeaderBytes)) return false;
  const ByteCursor header(fileHeader, kFileHeaderBytes);
  const bool signatureKnown = (fileHeader[0] == 'B' && fileHeader[1] == 'M') ||
                              (fileHeader[0] == 'B' && fileHeader[1] == 'A');
  if (!signatureKnown || !header.U32At(kPixelOffsetField, pixelDataOffset)) return false;
  if (pixelDataOffset > file.Size()) return false;
  pixelDataBytes = file.Size() - pixelDataOffset;

  // The header block runs from the end of the file header to the pixels; it
  // must at least hold the header-size field and then every field read.
  headerBlockSize =
      static_cast<std::int64_t>(pixelDataOffset) - static_cast<std::int64_t>(kFileHeaderBytes);
  std::uint8_t sizeField[4];
  if (headerBlockSize < static_cast<std::int64_t>(sizeof sizeField) ||
      !file.ReadAt(kFileHeaderBytes, sizeField, sizeof sizeField)) {
    return false;
  }
  std::uint32_t headerSize = 0;
  ByteCursor(sizeField, sizeof sizeField).U32At(0, headerSize);
  coreHeader = headerSize == kCoreHeaderSize;
  if (headerBlockSize < (coreHeader ? kCoreFieldBytes : kWindowsFieldBytes)) return false;

  headerBlock.resize(static_cast<std::size_t>(std::min(headerBlockSize, kLongestHeaderBytes)));
  if (!file.ReadAt(kFileHeaderBytes, headerBlock.data(), headerBlock.size())) return false;
  const ByteCursor block(headerBlock.data(), headerBlock.size());

  // Both kinds: the 32 bits at offset 4 must be a positive number and those
  // at offset 8 must not be zero (for the core header these span two 16-bit
  // fields each).
  std::int32_t widthBits = 0;
  std::int32_t heightBits = 0;
  if (!block.I32At(kWidthField, widthBits) || !block.I32At(kHeightField, heightBits) ||
      widthBits < 1 || heightBits == 0) {
    return false;
  }
  return coreHeader ? ClassifyCoreHeader(block) : ClassifyWindowsHeader(block);
}

bool BmpReader::ClassifyWindowsHeader(const ByteCursor& block) {
  std::int32_t widthField = 0;
  std::int32_t heightField = 0;
  std::uint16_t bitCountField = 0;
  if (!block.I32At(kWidthField, widthField) || !block.I32At(kHeightField, heightField) ||
      !block.U16At(kWindowsBitCountField, bitCountField) ||
      !block.U32At(kCompressionField, compression)) {
    return false;
  }
  if (compression > kCompressionBitFields) return false;
  // A negative height means the top row comes first; -2^31 has no positive
  // counterpart and is refused.
  const std::int64_t magnitude = heightField < 0 ? -static_cast<std::int64_t>(heightField)
                                                 : static_cast<std::int64_t>(heightField);
  if (magnitude > INT32_MAX) return false;
  width = widthField;
  height = static_cast<std::int32_t>(magnitude);
  bottomUp = heightField >= 0;
  if (compression == kCompressionRle8) {
    bitCount = 8;
    variant = SourceVariant::BmpWindowsRle8;
  } else if (compression == kCompressionRle4) {
    bitCount = 4;
    variant = SourceVariant::BmpWindowsRle4;
  } else {
    bitCount = bitCountField;
    variant = WindowsVariant(bitCount);
  }
  paletteLength = bitCount >= 1 && bitCount <= 8 ? 1 << bitCount : 0;
  return true;
}

bool BmpReader::ClassifyCoreHeader(const ByteCursor& block) {
  std::uint16_t widthField = 0;
  std::uint16_t heightField = 0;
  std::uint16_t bitCountField = 0;
  if (!block.U16At(kCoreWidthField, widthField) || !block.U16At(kCoreHeightField, heightField) ||
      !block.U16At(kCoreBitCountField, bitCountField)) {
    return false;
  }
  // The 32-bit checks above let a zero width or height through here.
  if (widthField < 1 || heightField < 1) return false;
  width = widthField;
  height = heightField;
  bottomUp = true;  // core-header rows always start at the bottom
  compression = kCompressionRgb;
  bitCount = bitCountField;
  variant = CoreVariant(bitCount);
  paletteLength = bitCount >= 1 && bitCount <= 8 ? 1 << bitCount : 0;
  return true;
}

std::int64_t BmpReader::FileRowBytes() const {
  // Rows are padded to a multiple of four bytes.
  return ((static_cast<std::int64_t>(width) * kReadableBits + 31) >> 3) & ~std::int64_t{3};
}

bool BmpReader::RowsFitFile() const {
  // width and height are below 2^31, so the product fits 64 unsigned bits;
  // once it is below 2^31, the file's rows are below 2^33 bytes.
  const std::uint64_t imageBytes =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3;
  return imageBytes <= static_cast<std::uint64_t>(kMaxMappedBytes) &&
         FileRowBytes() * height <= pixelDataBytes;
}

int BmpReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int BmpReader::DecodeRows() {
  RasterImage& image = *targetImage;
  const bool reusable =
      image.Width() == width && image.Height() == height && image.BitsPerPixel() == kReadableBits;
  if (!reusable && !image.Create(width, height, kReadableBits, 0)) return 0;

  const std::int64_t rowBytes = FileRowBytes();
  std::unique_ptr<std::uint8_t[]> fileRow(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(rowBytes)]);
  if (!fileRow) return 0;
  std::int64_t offset = pixelDataOffset;
  for (std::int32_t i = 0; i < height; ++i, offset += rowBytes) {
    if (!file.ReadAt(offset, fileRow.get(), static_cast<std::size_t>(rowBytes))) return 0;
    std::uint8_t* to = image.Row(bottomUp ? height - 1 - i : i);
    const std::uint8_t* from = fileRow.get();
    for (std::int32_t x = 0; x < width; ++x, to += 3, from += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
    ReportProgress(callback, kProgressReading, i, height);
  }
  return 1;
}

void BmpReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  std::fill(std::begin(fileHeader), std::end(fileHeader), std::uint8_t{0});
  headerBlockSize = 0;
  headerBlock.clear();
  headerBlock.shrink_to_fit();
  pixelDataOffset = 0;
  pixelDataBytes = 0;
  paletteLength = 0;
  sourcePath.clear();
  bitCount = 0;
  variant = SourceVariant::None;
  coreHeader = false;
  compression = 0;
  bottomUp = false;
  width = 0;
  height = 0;
  targetImage = nullptr;
}

}  // namespace engine
