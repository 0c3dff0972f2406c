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
  std::uint8_t bitsPerPlane = 0;
  std::uint8_t planeCount = 0;
  std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0, lineField = 0;
  if (!fields.U8At(kManufacturerField, manufacturer) ||
      !fields.U8At(kBitsPerPlaneField, bitsPerPlane) || !fields.U16At(kXMinField, xMin) ||
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
  bytesPerLine = lineField;
  bitsPerPixel = planes * bitsPerPlane;
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return false;

  // Every pixel must come from inside the decoded line: an 8-bit row takes
  // the line's first width bytes, a 24-bit pixel x takes byte x of each of
  // the first three planes.
  if (bitsPerPixel == 8 && LineBytes() < width) return false;
  if (bitsPerPixel == 24 && (planes < 3 || bytesPerLine < width)) return false;

  const std::int64_t imageBytes = static_cast<std::int64_t>(width) * height * (bitsPerPixel / 8);
  if (imageBytes > kMaxMappedBytes) return false;
  // Bounded by 2^16 rows of 255 x 2^16 bytes, well inside 64 bits.
  return CompressedBytes() >= FewestEncodedBytes(LineBytes()) * height;
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
  const bool paletted = bitsPerPixel == 8;
  if (!image.Create(width, height, bitsPerPixel, paletted ? kPaletteEntries : 0)) return 0;
  if (paletted) {
    std::uint8_t colours[kPaletteBytes];
    if (!file.ReadAt(file.Size() - kPaletteBytes, colours, sizeof colours)) return 0;
    PaletteEntry* entries = image.PaletteEntries();
    for (std::int32_t i = 0; i < kPaletteEntries; ++i) {
      entries[i].red = colours[3 * i];
      entries[i].green = colours[3 * i + 1];
      entries[i].blue = colours[3 * i + 2];
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
  const std::size_t plane = static_cast<std::size_t>(bytesPerLine);
  for (std::int32_t row = 0; row < height; ++row) {
    if (!DecodeLine(compressed, line.get(), lineBytes)) return 0;
    std::uint8_t* to = image.Row(row);
    if (paletted) {
      std::copy_n(line.get(), width, to);
    } else {
      const std::uint8_t* red = line.get();
      const std::uint8_t* green = red + plane;
      const std::uint8_t* blue = green + plane;
      for (std::int32_t x = 0; x < width; ++x, to += 3) {
        to[0] = red[x];
        to[1] = green[x];
        to[2] = blue[x];
      }
    }
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

void PcxReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  std::fill(std::begin(header), std::end(header), std::uint8_t{0});
  sourcePath.clear();
  bitsPerPixel = 0;
  planes = 0;
  bytesPerLine = 0;
  width = 0;
  height = 0;
  targetImage = nullptr;
}

}  // namespace engine
