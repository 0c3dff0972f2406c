// Softimage PIC files: a 104-byte big-endian header, a chain of 4-byte
// channel packets, then every row, top first, as each packet's channels in
// turn, as Softimage's PIC file format description lays them out.
#include "engine/softimage_pic_reader.h"

#include <algorithm>

namespace engine {

namespace {

constexpr std::size_t kHeaderBytes = 104;
constexpr std::uint32_t kMagic = 0x5380F634;
constexpr std::size_t kIdField = 88;
constexpr std::size_t kWidthField = 92;
constexpr std::size_t kHeightField = 94;
constexpr std::uint8_t kPictId[4] = {'P', 'I', 'C', 'T'};

constexpr std::size_t kPacketBytes = 4;
constexpr std::uint8_t kBitsPerChannel = 8;
constexpr std::uint8_t kUncompressed = 0;
constexpr std::uint8_t kPureRunLength = 1;
constexpr std::uint8_t kMixedRunLength = 2;

constexpr std::uint8_t kRedMask = 0x80;
constexpr std::uint8_t kGreenMask = 0x40;
constexpr std::uint8_t kBlueMask = 0x20;
constexpr std::uint8_t kAlphaMask = 0x10;
constexpr std::uint8_t kColourMasks = kRedMask | kGreenMask | kBlueMask;
constexpr std::uint8_t kChannelMasks[4] = {kRedMask, kGreenMask, kBlueMask, kAlphaMask};

// Mixed run-length codes: below 128 a literal of code + 1 pixels; 128 a run
// whose count follows in 16 bits; above, a run of code - 127 pixels.
constexpr std::uint8_t kLongRun = 128;
constexpr std::int64_t kLongestPureRun = 255;
constexpr std::int64_t kLongestLongRun = 65535;

std::uint16_t BigEndian16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

int ChannelCount(std::uint8_t mask) {
  int count = 0;
  for (const std::uint8_t channel : kChannelMasks) count += (mask & channel) != 0 ? 1 : 0;
  return count;
}

}  // namespace

int SoftimagePicReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !ReadHeader() || !ReadPackets() || !DataFits()) {
    Close();
    return 0;
  }
  callback = progress;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

bool SoftimagePicReader::ReadHeader() {
  std::uint8_t header[kHeaderBytes];
  if (!file.ReadAt(0, header, kHeaderBytes)) return false;
  const std::uint32_t magic =
      static_cast<std::uint32_t>(BigEndian16(header)) << 16 | BigEndian16(header + 2);
  if (magic != kMagic || !std::equal(kPictId, kPictId + 4, header + kIdField)) return false;
  width = BigEndian16(header + kWidthField);
  height = BigEndian16(header + kHeightField);
  return width >= 1 && height >= 1;
}

bool SoftimagePicReader::ReadPackets() {
  std::uint8_t seen = 0;
  bool chained = true;
  // A chain can name each channel once; one that goes on longer, repeats a
  // channel or names none is damaged.
  while (chained) {
    if (packetCount == kMostPackets) return false;
    std::uint8_t fields[kPacketBytes];
    if (!file.ReadAt(kHeaderBytes + kPacketBytes * packetCount, fields, kPacketBytes)) return false;
    chained = fields[0] != 0;
    const std::uint8_t mask = fields[3];
    if (fields[1] != kBitsPerChannel || fields[2] > kMixedRunLength || mask == 0 ||
        (mask & ~(kColourMasks | kAlphaMask)) != 0 || (mask & seen) != 0) {
      return false;
    }
    seen |= mask;
    packets[packetCount++] = {fields[2], mask};
  }
  hasAlpha = (seen & kAlphaMask) != 0;
  if ((seen & kColourMasks) != kColourMasks) return false;
  const std::int64_t imageBytes = static_cast<std::int64_t>(width) * height * (BitsPerPixel() / 8);
  return imageBytes <= kMaxMappedBytes;
}

bool SoftimagePicReader::DataFits() const {
  // The fewest bytes a row takes: packets of the longest run each encoding
  // allows.
  std::int64_t rowBytes = 0;
  for (int i = 0; i < packetCount; ++i) {
    const std::int64_t pixelBytes = ChannelCount(packets[i].channels);
    switch (packets[i].encoding) {
      case kUncompressed:
        rowBytes += width * pixelBytes;
        break;
      case kPureRunLength:
        rowBytes += (width + kLongestPureRun - 1) / kLongestPureRun * (1 + pixelBytes);
        break;
      default:
        // Short runs cost one count byte, long ones three; one byte each is
        // the bound that never refuses a file that could hold its row.
        rowBytes += (width + kLongestLongRun - 1) / kLongestLongRun * (1 + pixelBytes);
        break;
    }
  }
  const auto dataStart = static_cast<std::int64_t>(kHeaderBytes + kPacketBytes * packetCount);
  return dataStart + rowBytes * height <= file.Size();
}

int SoftimagePicReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int SoftimagePicReader::DecodeRows() {
  RasterImage& image = *targetImage;
  if (!image.Create(width, height, BitsPerPixel(), 0) ||
      !input.Start(file, static_cast<std::int64_t>(kHeaderBytes + kPacketBytes * packetCount))) {
    return 0;
  }
  for (std::int32_t row = 0; row < height; ++row) {
    for (int i = 0; i < packetCount; ++i) {
      if (!DecodePacketRow(packets[i], image.Row(row))) return 0;
    }
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

bool SoftimagePicReader::DecodePacketRow(const Packet& packet, std::uint8_t* row) {
  // Where each of the packet's channels goes in an image pixel.
  std::size_t places[4] = {};
  std::size_t count = 0;
  const std::size_t firstColour = hasAlpha ? 1 : 0;
  for (std::size_t c = 0; c < 4; ++c) {
    if ((packet.channels & kChannelMasks[c]) != 0) places[count++] = c < 3 ? firstColour + c : 0;
  }
  const auto pixelBytes = static_cast<std::size_t>(BitsPerPixel() / 8);
  std::uint8_t pixel[4] = {};
  auto put = [&](std::int64_t x) {
    std::uint8_t* to = row + static_cast<std::size_t>(x) * pixelBytes;
    for (std::size_t c = 0; c < count; ++c) to[places[c]] = pixel[c];
  };
  std::int64_t x = 0;
  while (x < width) {
    std::int64_t run = 0;
    bool literal = false;
    std::uint8_t code = 0;
    switch (packet.encoding) {
      case kUncompressed:
        run = width - x;
        literal = true;
        break;
      case kPureRunLength:
        if (!input.NextByte(code)) return false;
        run = code;
        break;
      default:
        if (!input.NextByte(code)) return false;
        if (code < kLongRun) {
          run = code + 1;
          literal = true;
        } else if (code == kLongRun) {
          std::uint8_t bytes[2] = {};
          if (!input.Next(bytes, 2)) return false;
          run = BigEndian16(bytes);
        } else {
          run = code - 127;
        }
        break;
    }
    // Every row is encoded on its own: a run may not reach into the next.
    if (x + run > width) return false;
    if (literal) {
      for (std::int64_t i = 0; i < run; ++i) {
        if (!input.Next(pixel, count)) return false;
        put(x++);
      }
    } else {
      if (!input.Next(pixel, count)) return false;
      for (std::int64_t i = 0; i < run; ++i) put(x++);
    }
  }
  return true;
}

void SoftimagePicReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  width = 0;
  height = 0;
  hasAlpha = false;
  std::fill(std::begin(packets), std::end(packets), Packet{});
  packetCount = 0;
  targetImage = nullptr;
}

}  // namespace engine
