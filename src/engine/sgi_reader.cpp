// SGI image files: a 512-byte big-endian header, then each channel's rows
// bottom row first, verbatim or run-length encoded behind tables of row
// offsets and lengths, as SGI's "The SGI Image File Format" (Haeberli) lays
// them out.
#include "engine/sgi_reader.h"

#include <algorithm>
#include <new>

namespace engine {

namespace {

constexpr std::size_t kHeaderBytes = 512;
constexpr std::uint16_t kMagic = 474;
constexpr std::size_t kMagicField = 0;
constexpr std::size_t kStorageField = 2;
constexpr std::size_t kBytesPerChannelField = 3;
constexpr std::size_t kDimensionField = 4;
constexpr std::size_t kWidthField = 6;
constexpr std::size_t kHeightField = 8;
constexpr std::size_t kChannelsField = 10;
constexpr std::size_t kColourMapField = 104;

constexpr std::uint8_t kStorageVerbatim = 0;
constexpr std::uint8_t kStorageRunLength = 1;
// Other colour maps (dithered, screen, a colour map file) hold no picture of
// plain channel values.
constexpr std::uint32_t kColourMapNormal = 0;
constexpr std::int32_t kMostChannels = 4;

// A run-length packet's first unit: the top bit set for literal units, the
// low seven bits counting them; a count of 0 ends the row.
constexpr std::uint32_t kLiteralFlag = 0x80;
constexpr std::uint32_t kCountMask = 0x7F;
constexpr std::int64_t kLongestPacket = 127;

std::uint16_t BigEndian16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}
std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

std::uint8_t SixteenToEight(std::uint32_t value) {
  return static_cast<std::uint8_t>((value * 255 + 32767) / 65535);
}

}  // namespace

int SgiReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !ReadHeader() || (runLength && !ReadRowTables())) {
    Close();
    return 0;
  }
  callback = progress;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

bool SgiReader::ReadHeader() {
  std::uint8_t header[kHeaderBytes];
  if (!file.ReadAt(0, header, kHeaderBytes)) return false;
  const std::uint8_t storage = header[kStorageField];
  const std::uint16_t dimension = BigEndian16(header + kDimensionField);
  if (BigEndian16(header + kMagicField) != kMagic ||
      (storage != kStorageVerbatim && storage != kStorageRunLength) ||
      (header[kBytesPerChannelField] != 1 && header[kBytesPerChannelField] != 2) || dimension < 1 ||
      dimension > 3 || BigEndian32(header + kColourMapField) != kColourMapNormal) {
    return false;
  }
  runLength = storage == kStorageRunLength;
  bytesPerChannel = header[kBytesPerChannelField];
  // Fewer dimensions leave the later sizes out: one row, one channel.
  width = BigEndian16(header + kWidthField);
  height = dimension >= 2 ? BigEndian16(header + kHeightField) : 1;
  channels = dimension == 3 ? BigEndian16(header + kChannelsField) : 1;
  if (width < 1 || height < 1 || channels < 1 || channels > kMostChannels) return false;
  bitsPerPixel = channels == 1 ? 8 : channels == 3 ? 24 : 32;
  // At most 65535 x 65535 x 4 bytes: inside 64 bits, beyond what maps.
  if (static_cast<std::int64_t>(width) * height * (bitsPerPixel / 8) > kMaxMappedBytes) {
    return false;
  }
  if (runLength) return true;
  const std::int64_t dataBytes =
      static_cast<std::int64_t>(width) * height * channels * bytesPerChannel;
  return static_cast<std::int64_t>(kHeaderBytes) + dataBytes <= file.Size();
}

bool SgiReader::ReadRowTables() {
  const std::int64_t rows = static_cast<std::int64_t>(height) * channels;
  const std::int64_t dataStart = static_cast<std::int64_t>(kHeaderBytes) + 8 * rows;
  if (dataStart > file.Size()) return false;
  const auto count = static_cast<std::size_t>(rows);
  std::unique_ptr<std::uint8_t[]> tables(new (std::nothrow) std::uint8_t[8 * count]);
  rowStarts.reset(new (std::nothrow) std::uint32_t[count]);
  rowLengths.reset(new (std::nothrow) std::uint32_t[count]);
  if (!tables || !rowStarts || !rowLengths || !file.ReadAt(kHeaderBytes, tables.get(), 8 * count)) {
    return false;
  }
  // The fewest bytes that encode a row: packets of 127 units, a unit per
  // count and per value.
  const std::int64_t fewestBytes = (static_cast<std::int64_t>(width) + kLongestPacket - 1) /
                                   kLongestPacket * 2 * bytesPerChannel;
  for (std::size_t i = 0; i < count; ++i) {
    rowStarts[i] = BigEndian32(tables.get() + 4 * i);
    rowLengths[i] = BigEndian32(tables.get() + 4 * (count + i));
    const std::int64_t start = rowStarts[i];
    const std::int64_t length = rowLengths[i];
    if (start < dataStart || length < fewestBytes || start + length > file.Size()) return false;
  }
  return true;
}

int SgiReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int SgiReader::DecodeRows() {
  RasterImage& image = *targetImage;
  if (!image.Create(width, height, bitsPerPixel, 0)) return 0;
  // Verbatim rows are width units; a run-length row needs at most two units
  // a pixel and the end mark, whatever longer length it declares.
  const std::int64_t units = runLength ? 2 * static_cast<std::int64_t>(width) + 1 : width;
  encodedCapacity = static_cast<std::size_t>(units * bytesPerChannel);
  encoded.reset(new (std::nothrow) std::uint8_t[encodedCapacity]);
  std::unique_ptr<std::uint8_t[]> samples(
      new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width) * channels]);
  if (!encoded || !samples) return 0;
  const std::size_t plane = static_cast<std::size_t>(width);
  for (std::int32_t row = 0; row < height; ++row) {
    for (std::int32_t channel = 0; channel < channels; ++channel) {
      if (!ReadChannelRow(channel, height - 1 - row, samples.get() + channel * plane)) return 0;
    }
    std::uint8_t* to = image.Row(row);
    const std::uint8_t* first = samples.get();
    for (std::size_t x = 0; x < plane; ++x) {
      switch (channels) {
        case 1:
          to[x] = first[x];
          break;
        case 2:  // grey and alpha
          to[4 * x] = first[plane + x];
          to[4 * x + 1] = to[4 * x + 2] = to[4 * x + 3] = first[x];
          break;
        case 3:
          for (int c = 0; c < 3; ++c) to[3 * x + c] = first[c * plane + x];
          break;
        default:
          to[4 * x] = first[3 * plane + x];
          for (int c = 0; c < 3; ++c) to[4 * x + 1 + c] = first[c * plane + x];
          break;
      }
    }
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

bool SgiReader::ReadChannelRow(std::int32_t channel, std::int32_t fileRow, std::uint8_t* samples) {
  const std::int64_t index = static_cast<std::int64_t>(channel) * height + fileRow;
  if (runLength) {
    const std::size_t byteCount = std::min<std::size_t>(rowLengths[index], encodedCapacity);
    return file.ReadAt(rowStarts[index], encoded.get(), byteCount) &&
           DecodeRunLengthRow(byteCount, samples);
  }
  const std::int64_t rowBytes = static_cast<std::int64_t>(width) * bytesPerChannel;
  if (!file.ReadAt(static_cast<std::int64_t>(kHeaderBytes) + index * rowBytes, encoded.get(),
                   static_cast<std::size_t>(rowBytes))) {
    return false;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    samples[x] = bytesPerChannel == 1 ? encoded[x] : SixteenToEight(BigEndian16(&encoded[2 * x]));
  }
  return true;
}

bool SgiReader::DecodeRunLengthRow(std::size_t byteCount, std::uint8_t* samples) const {
  // Units are bytes, or big-endian 16-bit words whose low byte is the count.
  const std::size_t unitCount = byteCount / bytesPerChannel;
  std::size_t unit = 0;
  auto next = [&](std::uint32_t& value) {
    if (unit >= unitCount) return false;
    const std::uint8_t* at = encoded.get() + unit * bytesPerChannel;
    value = bytesPerChannel == 1 ? at[0] : BigEndian16(at);
    ++unit;
    return true;
  };
  auto eight = [&](std::uint32_t value) {
    return bytesPerChannel == 1 ? static_cast<std::uint8_t>(value) : SixteenToEight(value);
  };
  std::int64_t x = 0;
  while (x < width) {
    std::uint32_t code = 0;
    if (!next(code)) return false;
    const std::int64_t count = code & kCountMask;
    // The end mark before the row is full, or a packet past its end.
    if (count == 0 || x + count > width) return false;
    if ((code & kLiteralFlag) != 0) {
      for (std::int64_t i = 0; i < count; ++i) {
        std::uint32_t value = 0;
        if (!next(value)) return false;
        samples[x++] = eight(value);
      }
    } else {
      std::uint32_t value = 0;
      if (!next(value)) return false;
      std::fill_n(samples + x, count, eight(value));
      x += count;
    }
  }
  return true;
}

void SgiReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  runLength = false;
  bytesPerChannel = 0;
  channels = 0;
  width = 0;
  height = 0;
  bitsPerPixel = 0;
  rowStarts.reset();
  rowLengths.reset();
  encoded.reset();
  encodedCapacity = 0;
  targetImage = nullptr;
}

}  // namespace engine
