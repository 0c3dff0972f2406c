// ZSoft PCX files (a 128-byte header, then run-length-encoded lines of one
// plane after another), as ZSoft's PCX technical reference lays them out.
#include "engine/pcx_reader.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr std::uint8_t kManufacturer = 0x0A;
constexpr std::size_t kManufacturerField = 0;
constexpr std::size_t kBitsPerPlaneField = 3;
constexpr std::size_t kXMinField = 4;
constexpr std::size_t kYMinField = 6;
constexpr std::size_t kXMaxField = 8;
constexpr std::size_t kYMaxField = 10;
constexpr std::size_t kPlanesField = 65;
constexpr std::size_t kBytesPerLineField = 66;

constexpr std::size_t kHeaderPaletteField = 16;

constexpr std::int64_t kPaletteBytes = 768;
constexpr std::int32_t kPaletteEntries = 256;

// A byte with both top bits set starts a run; its low six bits count it.
constexpr std::uint8_t kRunFlags = 0xC0;
constexpr std::uint8_t kRunCountMask = 0x3F;
constexpr std::int64_t kLongestRun = 63;

// The fewest compressed bytes that can decode to one line of lineBytes: runs
// of 63 in two bytes each, and what remains in one literal byte or one run.
std::int64_t FewestEncodedBytes(std::int64_t lineBytes) {
  return 2 * (lineBytes / kLongestRun) + std::min<std::int64_t>(2, lineBytes % kLongestRun);
}

// Decodes one line of line.size() bytes. Lines are encoded on their own: a
// run that would cross the end of the line is cut there. false when the
// compressed data ends first.
bool DecodeLine(ByteCursor& compressed, std::uint8_t* line, std::size_t lineBytes) {
  std::size_t position = 0;
  while (position < lineBytes) {
    std::uint8_t code = 0;
    if (!compressed.NextByte(code)) return false;
    if ((code & kRunFlags) != kRunFlags) {
      line[position++] = code;
      continue;
    }
    std::uint8_t value = 0;
    if (!compressed.NextByte(value)) return false;
    // A count of 0 writes nothing but still takes its value byte.
    const std::size_t count = std::min<std::size_t>(code & kRunCountMask, lineBytes - position);
    std::fill_n(line + position, count, value);
    position += count;
  }
  return true;
}

}  // namespace

int PcxReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !ReadHeader()) {
    Close();
    return 0;
  }
  callback = progress;
  sourcePath = path;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

bool PcxReader::ReadHeader() {
  if (!file.ReadAt(0, header, kHeaderBytes)) return false;
  const ByteCursor fields(header, kHeaderBytes);
  std::uint8_t manufacturer = 0;
  std::uint8_t planeBits = 0;
  std::uint8_t planeCount = 0;
  std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0, lineField = 0;
  if (!fields.U8At(kManufacturerField, manufacturer) ||
      !fields.U8At(kBitsPerPlaneField, planeBits) || !fields.U16At(kXMinField, xMin) ||
      !fields.U16At(kYMinField, yMin) || !fields.U16At(kXMaxField, xMax) ||
      !fields.U16At(kYMaxField, yMax) || !fields.U8At(kPlanesField, planeCount) ||
      !fields.U16At(kBytesPerLineField, lineField)) {
    return false;
  }
  if (manufacturer != kManufacturer || xMax == xMin || yMax == yMin) return false;
  // A window whose maximum lies below its minimum has no pixels.
  width = static_cast<std::int32_t>(xMax) - xMin + 1;
  height = static_cast<std::int32_t>(yMax) - yMin + 1;
  if (width < 1 || height < 1) return false;
  planes = planeCount;
  bitsPerPlane = planeBits;
  bytesPerLine = lineField;
  bitsPerPixel = planes * bitsPerPlane;

  // Every pixel must come from inside the decoded line: an 8-bit row takes
  // the line's first width bytes; a 24- or 32-bit pixel x takes byte x of
  // each plane; a 1- or 4-bit pixel x takes its bits of each plane.
  const std::int64_t planeBytes = bytesPerLine;
  switch (bitsPerPixel) {
    case 8:
      if (LineBytes() < width) return false;
      break;
    case 24:
      if (planes < 3 || planeBytes < width) return false;
      break;
    case 32:
      if (planes != 4 || planeBytes < width) return false;
      break;
    case 1:
    case 2:
    case 3:
    case 4:
      // One plane of 4 bits, or one to four planes of 1 bit (EGA); planes of
      // 2 bits are not read.
      if (bitsPerPlane == 2) return false;
      if (bitsPerPlane == 4 ? planeBytes * 2 < width : planeBytes * 8 < width) return false;
      break;
    default:
      return false;
  }

  const std::int64_t imageBytes = static_cast<std::int64_t>(width) * height * (ImageBits() / 8);
  if (imageBytes > kMaxMappedBytes) return false;
  // Bounded by 2^16 rows of 255 x 2^16 bytes, well inside 64 bits.
  return CompressedBytes() >= FewestEncodedBytes(LineBytes()) * height;
}

std::int32_t PcxReader::ImageBits() const {
  return bitsPerPixel < 8 ? 8 : bitsPerPixel;
}

std::int64_t PcxReader::LineBytes() const {
  return static_cast<std::int64_t>(planes) * bytesPerLine;
}

std::int64_t PcxReader::CompressedBytes() const {
  // 8-bit files end with the palette (after a marker byte that is not
  // checked); the compressed data is what lies between header and palette.
  const std::int64_t trailer = bitsPerPixel == 8 ? kPaletteBytes : 0;
  return file.Size() - static_cast<std::int64_t>(kHeaderBytes) - trailer;
}

int PcxReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeLines();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int PcxReader::DecodeLines() {
  RasterImage& image = *targetImage;
  const bool paletted = bitsPerPixel <= 8;
  const std::int32_t entries = bitsPerPixel == 8  ? kPaletteEntries
                               : bitsPerPixel < 8 ? std::int32_t{1} << bitsPerPixel
                                                  : 0;
  if (!image.Create(width, height, ImageBits(), paletted ? entries : 0)) return 0;
  PaletteEntry* palette = image.PaletteEntries();
  if (bitsPerPixel == 8) {
    std::uint8_t colours[kPaletteBytes];
    if (!file.ReadAt(file.Size() - kPaletteBytes, colours, sizeof colours)) return 0;
    for (std::int32_t i = 0; i < kPaletteEntries; ++i) {
      palette[i].red = colours[3 * i];
      palette[i].green = colours[3 * i + 1];
      palette[i].blue = colours[3 * i + 2];
    }
  } else if (paletted) {
    // The header's first 2, 4, 8 or 16 colours. Writers of 1-bit files often
    // leave them empty: two equal entries mean black and white, as netpbm
    // reads them (ImageMagick 6 swaps black and white in every 1-bit file).
    const std::uint8_t* colours = header + kHeaderPaletteField;
    for (std::int32_t i = 0; i < entries; ++i) {
      palette[i].red = colours[3 * i];
      palette[i].green = colours[3 * i + 1];
      palette[i].blue = colours[3 * i + 2];
    }
    if (bitsPerPixel == 1 && std::equal(colours, colours + 3, colours + 3)) {
      palette[0].red = palette[0].green = palette[0].blue = 0;
      palette[1].red = palette[1].green = palette[1].blue = 255;
    }
  }

  // The whole compressed stream goes to mapped scratch storage; the decoder
  // reads it through a cursor that ends where the data ends.
  const std::int64_t dataBytes = CompressedBytes();
  MappedBuffer data;
  if (!data.Create(dataBytes, kTempFilePrefix) ||
      !file.ReadAt(kHeaderBytes, data.Data(), static_cast<std::size_t>(dataBytes))) {
    return 0;
  }
  data.Flush();
  ByteCursor compressed(data.Data(), static_cast<std::size_t>(dataBytes));

  const auto lineBytes = static_cast<std::size_t>(LineBytes());
  std::unique_ptr<std::uint8_t[]> line(new (std::nothrow) std::uint8_t[lineBytes]);
  if (!line) return 0;
  for (std::int32_t row = 0; row < height; ++row) {
    if (!DecodeLine(compressed, line.get(), lineBytes)) return 0;
    StoreLine(line.get(), image.Row(row));
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

void PcxReader::StoreLine(const std::uint8_t* line, std::uint8_t* to) const {
  const std::size_t plane = static_cast<std::size_t>(bytesPerLine);
  switch (bitsPerPixel) {
    case 8:
      std::copy_n(line, width, to);
      return;
    case 24:
    case 32: {
      // Planes of red, green, blue (and alpha, which goes first).
      const std::uint8_t* red = line;
      const std::uint8_t* green = red + plane;
      const std::uint8_t* blue = green + plane;
      const std::uint8_t* alpha = blue + plane;
      const bool withAlpha = bitsPerPixel == 32;
      for (std::int32_t x = 0; x < width; ++x) {
        if (withAlpha) *to++ = alpha[x];
        to[0] = red[x];
        to[1] = green[x];
        to[2] = blue[x];
        to += 3;
      }
      return;
    }
    default:
      if (bitsPerPlane == 4) {
        // Two pixels a byte, the first in the top nibble.
        for (std::int32_t x = 0; x < width; ++x) {
          const std::uint8_t packed = line[x / 2];
          to[x] = static_cast<std::uint8_t>(x % 2 == 0 ? packed >> 4 : packed & 0x0F);
        }
        return;
      }
      // One bit of every plane, the first plane the lowest bit of the index.
      for (std::int32_t x = 0; x < width; ++x) {
        const std::int32_t shift = 7 - x % 8;
        std::uint8_t value = 0;
        for (std::int32_t p = 0; p < planes; ++p) {
          value |= static_cast<std::uint8_t>(((line[p * plane + x / 8] >> shift) & 1) << p);
        }
        to[x] = value;
      }
      return;
  }
}

void PcxReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  std::fill(std::begin(header), std::end(header), std::uint8_t{0});
  sourcePath.clear();
  bitsPerPixel = 0;
  bitsPerPlane = 0;
  planes = 0;
  bytesPerLine = 0;
  width = 0;
  height = 0;
  targetImage = nullptr;
}

}  // namespace engine
