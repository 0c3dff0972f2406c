// Windows and OS/2 bitmap files (BITMAPFILEHEADER followed by a
// BITMAPINFOHEADER or one of its longer successors, by the OS/2 1.x
// BITMAPCOREHEADER or by the OS/2 2.x BITMAPINFOHEADER2), as Microsoft's
// wingdi.h and IBM's OS/2 PM headers lay them out; little-endian.
#include "engine/bmp_reader.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kPixelOffsetField = 10;

// Header sizes. OS/2 2.x headers may stop after any field from 16 bytes up to
// their full 64; the Windows ones are 40 bytes (52 and 56 add masks, 108 and
// 124 are versions 4 and 5). Other sizes are read like Windows headers.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kShortestOs2Header = 16;
constexpr std::uint32_t kLongestOs2Header = 64;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaskHeaderSize = 52;       // + red, green and blue masks
constexpr std::uint32_t kAlphaMaskHeaderSize = 56;  // + the alpha mask

// Bytes of the header block the fields below reach into: the core header's
// width, height, planes and bit count; the other headers' up to and
// including the compression field (an OS/2 2.x header may end before it).
constexpr std::int64_t kCoreFieldBytes = 12;
constexpr std::int64_t kShortOs2FieldBytes = 16;
constexpr std::int64_t kWindowsFieldBytes = 20;
// The longest header (BITMAPV5HEADER). Bytes beyond it (palettes, gaps before
// the pixels) are never looked at, so they are not read.
constexpr std::int64_t kLongestHeaderBytes = 124;

// Offsets inside the header block.
constexpr std::size_t kWidthField = 4;
constexpr std::size_t kHeightField = 8;
constexpr std::size_t kBitCountField = 14;
constexpr std::size_t kCompressionField = 16;
constexpr std::size_t kColoursUsedField = 32;
constexpr std::size_t kMaskFields =
    40;  // red, green, blue, alpha; also right after a 40-byte header
constexpr std::size_t kCoreWidthField = 4;
constexpr std::size_t kCoreHeightField = 6;
constexpr std::size_t kCoreBitCountField = 10;

constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;  // OS/2 2.x: Huffman 1D, not read
constexpr std::uint32_t kCompressionAlphaBitFields = 6;

// Escape codes of the run-length data (a zero count followed by one of these).
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

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

// A channel of `bits` bits as 8 bits. Up to 8 bits the bits are repeated
// from the top down, which is what ImageMagick gives 5- and 6-bit channels
// (5 bits v: v << 3 | v >> 2) and keeps full values full; wider channels
// are rounded to the nearest of 256 levels.
std::uint8_t Widen(std::uint32_t value, std::int32_t bits) {
  if (bits == 0) return 0;  // no mask: the channel is absent
  if (bits >= 8) {
    if (bits == 8) return static_cast<std::uint8_t>(value);
    const std::uint64_t top = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((value * std::uint64_t{255} + top / 2) / top);
  }
  std::uint32_t widened = 0;
  for (std::int32_t shift = 8 - bits; shift > -bits; shift -= bits) {
    widened |= shift >= 0 ? value << shift : value >> -shift;
  }
  return static_cast<std::uint8_t>(widened);
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
  if (variant == SourceVariant::None || !PaletteFitsFile() || !RowsFitFile()) {
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
  const bool os2 = headerSize >= kShortestOs2Header && headerSize <= kLongestOs2Header &&
                   headerSize != kInfoHeaderSize && headerSize != kMaskHeaderSize &&
                   headerSize != kAlphaMaskHeaderSize;
  const std::int64_t fieldBytes = coreHeader                               ? kCoreFieldBytes
                                  : os2 && headerSize < kWindowsFieldBytes ? kShortOs2FieldBytes
                                                                           : kWindowsFieldBytes;
  if (headerBlockSize < fieldBytes) return false;

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
  return coreHeader ? ClassifyCoreHeader(block) : ClassifyInfoHeader(block, headerSize, os2);
}

bool BmpReader::ClassifyInfoHeader(const ByteCursor& block, std::uint32_t headerSize, bool os2) {
  std::int32_t widthField = 0;
  std::int32_t heightField = 0;
  std::uint16_t bitCountField = 0;
  if (!block.I32At(kWidthField, widthField) || !block.I32At(kHeightField, heightField) ||
      !block.U16At(kBitCountField, bitCountField)) {
    return false;
  }
  compression = kCompressionRgb;
  const bool endsBeforeCompression = os2 && headerSize < kWindowsFieldBytes;
  if (!endsBeforeCompression && !block.U32At(kCompressionField, compression)) return false;
  // OS/2 2.x numbers Huffman and 24-bit run-length coding 3 and 4; neither
  // is read.
  const bool compressionKnown =
      os2 ? compression <= kCompressionRle4
          : compression <= kCompressionBitFields || compression == kCompressionAlphaBitFields;
  if (!compressionKnown) return false;
  // A negative height means the top row comes first; -2^31 has no positive
  // counterpart and is refused.
  const std::int64_t magnitude = heightField < 0 ? -static_cast<std::int64_t>(heightField)
                                                 : static_cast<std::int64_t>(heightField);
  if (magnitude > INT32_MAX) return false;
  width = widthField;
  height = static_cast<std::int32_t>(magnitude);
  bottomUp = heightField >= 0;
  bitCount = bitCountField;
  variant = WindowsVariant(bitCount);
  if (compression == kCompressionRle8) {
    variant = bitCount == 8 ? SourceVariant::BmpWindowsRle8 : SourceVariant::None;
  } else if (compression == kCompressionRle4) {
    variant = bitCount == 4 ? SourceVariant::BmpWindowsRle4 : SourceVariant::None;
  } else if (compression != kCompressionRgb && bitCount != 16 && bitCount != 32 && bitCount != 24) {
    // Masks mean nothing at 24 bits: such rows are read as plain blue,
    // green, red; palette pictures have none.
    variant = SourceVariant::None;
  }
  if (variant == SourceVariant::None) return false;

  if (bitCount <= 8) {
    std::uint32_t coloursUsed = 0;
    if (headerSize >= kColoursUsedField + 4 && !block.U32At(kColoursUsedField, coloursUsed)) {
      return false;
    }
    const std::uint32_t most = std::uint32_t{1} << bitCount;
    if (coloursUsed > most) return false;
    paletteLength = static_cast<std::int32_t>(coloursUsed == 0 ? most : coloursUsed);
    paletteOffset = static_cast<std::int64_t>(kFileHeaderBytes) + headerSize;
  }
  return bitCount == 16 || bitCount == 32 ? ReadMasks(block, headerSize) : true;
}

bool BmpReader::ReadMasks(const ByteCursor& block, std::uint32_t headerSize) {
  std::uint32_t masks[4] = {};
  if (compression == kCompressionRgb) {
    // The fixed layouts: 5-5-5 in 16 bits (top bit unused), 8-8-8 in 32 bits
    // with a fourth byte that counts as alpha only when any pixel sets it.
    if (bitCount == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0x00FF0000;
      masks[1] = 0x0000FF00;
      masks[2] = 0x000000FF;
      fourthByteAlpha = true;
    }
  } else {
    // Headers of 52 bytes and more hold the masks (from 56 bytes also the
    // alpha mask); a 40-byte header is followed by them, before the palette.
    std::size_t count = 0;
    if (headerSize >= kAlphaMaskHeaderSize) {
      count = 4;
    } else if (headerSize == kMaskHeaderSize) {
      count = 3;
    } else if (headerSize == kInfoHeaderSize) {
      count = compression == kCompressionAlphaBitFields ? 4 : 3;
    } else {
      return false;
    }
    // The masks must lie before the pixels.
    for (std::size_t i = 0; i < count; ++i) {
      if (!block.U32At(kMaskFields + 4 * i, masks[i])) return false;
    }
  }
  return SetChannel(red, masks[0]) && SetChannel(green, masks[1]) && SetChannel(blue, masks[2]) &&
         SetChannel(alpha, masks[3]);
}

bool BmpReader::SetChannel(Channel& channel, std::uint32_t mask) const {
  channel = Channel();
  if (mask == 0) return true;  // the channel is absent (alpha: opaque)
  if (bitCount == 16 && mask > 0xFFFF) return false;
  std::int32_t shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const std::uint32_t bits = mask >> shift;
  if ((bits & (bits + 1)) != 0) return false;  // not one run of bits
  std::int32_t count = 0;
  while (count < 32 && ((bits >> count) & 1) != 0) ++count;
  channel = Channel{mask, shift, count};
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
  if (bitCount <= 8) {
    // Every possible entry, three bytes each.
    paletteLength = 1 << bitCount;
    paletteEntryBytes = 3;
    paletteOffset = static_cast<std::int64_t>(kFileHeaderBytes) + kCoreHeaderSize;
  }
  return variant != SourceVariant::None;
}

bool BmpReader::IsRunLength() const {
  return bitCount <= 8 && (compression == kCompressionRle8 || compression == kCompressionRle4);
}

bool BmpReader::PaletteFitsFile() const {
  return paletteOffset + static_cast<std::int64_t>(paletteLength) * paletteEntryBytes <=
         file.Size();
}

std::int64_t BmpReader::FileRowBytes() const {
  // Rows are padded to a multiple of four bytes.
  return ((static_cast<std::int64_t>(width) * bitCount + 31) >> 3) & ~std::int64_t{3};
}

bool BmpReader::RowsFitFile() const {
  // width and height are below 2^31, so the product fits 64 unsigned bits;
  // once it is below 2^31, the file's rows are below 2^34 bytes.
  // Bytes per pixel of the image: 16 bits become 24, or 32 with alpha.
  const std::uint64_t pixelBytes = bitCount <= 8    ? 1
                                   : bitCount == 16 ? (alpha.bits > 0 ? 4 : 3)
                                                    : static_cast<std::uint64_t>(bitCount / 8);
  const std::uint64_t imageBytes =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * pixelBytes;
  if (imageBytes > static_cast<std::uint64_t>(kMaxMappedBytes)) return false;
  // Run-length data may leave any pixels unwritten; it needs at least one
  // code.
  if (IsRunLength()) return pixelDataBytes >= 2;
  return FileRowBytes() * height <= pixelDataBytes;
}

int BmpReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = IsRunLength() ? DecodeRunLengths() : DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

bool BmpReader::PrepareImage(std::int32_t bits) {
  RasterImage& image = *targetImage;
  const std::int32_t entries = bits == 8 ? paletteLength : 0;
  const bool reusable = image.Width() == width && image.Height() == height &&
                        image.BitsPerPixel() == bits && image.PaletteSize() == entries;
  if (!reusable && !image.Create(width, height, bits, entries)) return false;
  if (entries == 0) return true;

  const std::size_t paletteBytes = static_cast<std::size_t>(paletteLength) * paletteEntryBytes;
  std::unique_ptr<std::uint8_t[]> colours(new (std::nothrow) std::uint8_t[paletteBytes]);
  if (!colours || !file.ReadAt(paletteOffset, colours.get(), paletteBytes)) return false;
  PaletteEntry* palette = image.PaletteEntries();
  for (std::int32_t i = 0; i < paletteLength; ++i) {
    const std::uint8_t* entry = colours.get() + static_cast<std::size_t>(i) * paletteEntryBytes;
    palette[i] = PaletteEntry{entry[2], entry[1], entry[0], 0, 0};
  }
  return true;
}

// Whether any pixel of a 32-bit picture without masks sets its fourth byte;
// false also when the rows cannot be read.
bool BmpReader::HasNonZeroFourthBytes() {
  const std::int64_t rowBytes = FileRowBytes();
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow)
                                          std::uint8_t[static_cast<std::size_t>(rowBytes)]);
  if (!row) return false;
  std::int64_t offset = pixelDataOffset;
  for (std::int32_t i = 0; i < height; ++i, offset += rowBytes) {
    if (!file.ReadAt(offset, row.get(), static_cast<std::size_t>(rowBytes))) return false;
    for (std::int32_t x = 0; x < width; ++x) {
      if (row[static_cast<std::size_t>(x) * 4 + 3] != 0) return true;
    }
  }
  return false;
}

int BmpReader::DecodeRows() {
  std::int32_t bits = bitCount <= 8 ? 8 : 24;
  if (bitCount == 16 || bitCount == 32) {
    // A 32-bit picture whose fourth bytes are all zero was written without
    // alpha by most programs; any other value is taken as alpha, as
    // ImageMagick and browsers do.
    if (fourthByteAlpha && HasNonZeroFourthBytes()) SetChannel(alpha, 0xFF000000u);
    if (alpha.bits > 0) bits = 32;
  }
  if (!PrepareImage(bits)) return 0;
  RasterImage& image = *targetImage;

  const std::int64_t rowBytes = FileRowBytes();
  std::unique_ptr<std::uint8_t[]> fileRow(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(rowBytes)]);
  if (!fileRow) return 0;
  std::int64_t offset = pixelDataOffset;
  for (std::int32_t i = 0; i < height; ++i, offset += rowBytes) {
    if (!file.ReadAt(offset, fileRow.get(), static_cast<std::size_t>(rowBytes))) return 0;
    StoreRow(fileRow.get(), image.Row(bottomUp ? height - 1 - i : i));
    ReportProgress(callback, kProgressReading, i, height);
  }
  return 1;
}

void BmpReader::StoreRow(const std::uint8_t* from, std::uint8_t* to) const {
  // Indices beyond the palette take entry 0, as ImageMagick has them.
  const auto index = [this](std::uint32_t value) {
    return static_cast<std::uint8_t>(value < static_cast<std::uint32_t>(paletteLength) ? value : 0);
  };
  const auto channel = [](std::uint32_t pixel, const Channel& c) {
    return Widen((pixel & c.mask) >> c.shift, c.bits);
  };
  switch (bitCount) {
    case 1:
    case 4:
    case 8: {
      // Pixels fill each byte from its top bits down.
      const std::int32_t perByte = 8 / bitCount;
      const std::uint32_t valueMask = (1u << bitCount) - 1;
      for (std::int32_t x = 0; x < width; ++x) {
        const std::int32_t shift = 8 - bitCount * (x % perByte + 1);
        to[x] = index((from[x / perByte] >> shift) & valueMask);
      }
      return;
    }
    case 24:
      for (std::int32_t x = 0; x < width; ++x, to += 3, from += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
      }
      return;
    default: {
      const std::int32_t pixelBytes = bitCount / 8;
      const bool withAlpha = alpha.bits > 0;
      for (std::int32_t x = 0; x < width; ++x, from += pixelBytes) {
        std::uint32_t pixel = from[0] | static_cast<std::uint32_t>(from[1]) << 8;
        if (pixelBytes == 4) {
          pixel |= static_cast<std::uint32_t>(from[2]) << 16 | static_cast<std::uint32_t>(from[3])
                                                                   << 24;
        }
        if (withAlpha) *to++ = channel(pixel, alpha);
        to[0] = channel(pixel, red);
        to[1] = channel(pixel, green);
        to[2] = channel(pixel, blue);
        to += 3;
      }
      return;
    }
  }
}

int BmpReader::DecodeRunLengths() {
  if (!PrepareImage(8)) return 0;
  RasterImage& image = *targetImage;
  // Pixels the data never writes keep index 0, as ImageMagick has them; a
  // reused image must forget its old pixels.
  std::fill_n(image.PixelData(), image.ByteCount(), std::uint8_t{0});

  MappedBuffer data;
  if (!data.Create(pixelDataBytes, kTempFilePrefix) ||
      !file.ReadAt(pixelDataOffset, data.Data(), static_cast<std::size_t>(pixelDataBytes))) {
    return 0;
  }
  ByteCursor codes(data.Data(), static_cast<std::size_t>(pixelDataBytes));

  const bool nibbles = compression == kCompressionRle4;
  const auto index = [this](std::uint32_t value) {
    return static_cast<std::uint8_t>(value < static_cast<std::uint32_t>(paletteLength) ? value : 0);
  };
  const auto rowStart = [&](std::int32_t fileRow) {
    return image.Row(bottomUp ? height - 1 - fileRow : fileRow);
  };
  // ImageMagick and GraphicsMagick run on to the end of the row's padding
  // (as if the row were stored uncompressed, in 4-byte steps); pixels there
  // are dropped, runs beyond it are damage.
  const std::int64_t paddedWidth = FileRowBytes() * 8 / bitCount;
  const auto put = [&](std::uint8_t* row, std::int64_t at, std::uint32_t value) {
    if (at < width) row[at] = index(value);
  };
  // x and y count pixels and file rows; y == height means every row ended.
  std::int64_t x = 0;
  std::int32_t y = 0;
  for (;;) {
    std::uint8_t count = 0;
    std::uint8_t value = 0;
    // Data that ends without its end-of-bitmap code is complete only when
    // every row has ended.
    if (!codes.NextByte(count) || !codes.NextByte(value)) return y >= height ? 1 : 0;
    if (count > 0) {
      // A run: count pixels of one value (RLE4: of its two nibbles in turn).
      if (y >= height || count > paddedWidth - x) return 0;
      std::uint8_t* row = rowStart(y);
      for (std::int32_t i = 0; i < count; ++i) {
        put(row, x + i, nibbles ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      x += count;
      continue;
    }
    if (value == kEndOfBitmap) return 1;
    if (value == kEndOfLine) {
      if (y >= height) return 0;
      ReportProgress(callback, kProgressReading, y, height);
      x = 0;
      ++y;
      continue;
    }
    if (value == kDelta) {
      std::uint8_t right = 0;
      std::uint8_t up = 0;
      if (!codes.NextByte(right) || !codes.NextByte(up) || y >= height) return 0;
      if (right > paddedWidth - x || up >= height - y) return 0;
      if (up > 0) ReportProgress(callback, kProgressReading, y, height);
      x += right;
      y += up;
      continue;
    }
    // An absolute run: value pixels stored one by one, padded to a 16-bit
    // boundary.
    if (y >= height || value > paddedWidth - x) return 0;
    std::uint8_t* row = rowStart(y);
    const std::int32_t storedBytes = nibbles ? (value + 1) / 2 : value;
    for (std::int32_t i = 0; i < storedBytes; ++i) {
      std::uint8_t stored = 0;
      if (!codes.NextByte(stored)) return 0;
      if (nibbles) {
        put(row, x + 2 * i, stored >> 4);
        if (2 * i + 1 < value) put(row, x + 2 * i + 1, stored & 0x0F);
      } else {
        put(row, x + i, stored);
      }
    }
    std::uint8_t padding = 0;
    if (storedBytes % 2 != 0 && !codes.NextByte(padding)) return 0;
    x += value;
  }
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
  paletteOffset = 0;
  paletteLength = 0;
  paletteEntryBytes = 4;
  red = green = blue = alpha = Channel();
  fourthByteAlpha = false;
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
