// EXIF and TIFF orientation (JPEG markers per ITU-T T.81 B.1; APP1 "Exif" and
// its TIFF structure per the EXIF 2.3 standard; TIFF 6.0 and BigTIFF
// directories). Every read goes through a ByteSource that refuses what is not
// there, so damaged offsets and counts end in the upright answer.
#include "base/exif_orientation.h"

#include <cstring>

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
// More entries than a classic directory can count are taken as damage in a
// BigTIFF one too: real directories hold a few dozen.
constexpr std::uint64_t kMaxDirectoryEntries = 0xFFFF;
constexpr std::uint64_t kLargestOffset = std::uint64_t{1} << 62;

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kTemporary = 0x01;  // TEM: no length field
constexpr std::uint8_t kFirstRestart = 0xD0;
constexpr std::uint8_t kLastRestart = 0xD7;

constexpr char kExifSignature[] = {'E', 'x', 'i', 'f', '\0', '\0'};
constexpr std::uint64_t kExifSignatureBytes = sizeof kExifSignature;

struct Memory {
  const std::uint8_t* bytes;
  std::size_t size;
};

bool ReadMemory(void* context, std::uint64_t offset, void* buffer, std::size_t count) {
  const auto* memory = static_cast<const Memory*>(context);
  if (offset > memory->size || count > memory->size - offset) return false;
  if (count != 0) std::memcpy(buffer, memory->bytes + offset, count);
  return true;
}

// A window of length bytes from base of another source: the TIFF structure
// inside an APP1 segment counts its offsets from its own first byte and may
// not reach past the segment.
struct Window {
  const ByteSource* outer;
  std::uint64_t base;
  std::uint64_t length;
};

bool ReadWindow(void* context, std::uint64_t offset, void* buffer, std::size_t count) {
  const auto* window = static_cast<const Window*>(context);
  if (offset > window->length || count > window->length - offset) return false;
  return window->outer->readAt(window->outer->context, window->base + offset, buffer, count);
}

bool ReadBytes(const ByteSource& source, std::uint64_t offset, void* buffer, std::size_t count) {
  return source.readAt != nullptr && source.readAt(source.context, offset, buffer, count);
}

std::uint64_t Unsigned(const std::uint8_t* bytes, int count, bool bigEndian) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) {
    value = value << 8 | bytes[bigEndian ? i : count - 1 - i];
  }
  return value;
}

int TiffStructureOrientation(const ByteSource& source) {
  std::uint8_t header[16];
  if (!ReadBytes(source, 0, header, 8)) return kOrientationUpright;
  bool bigEndian = false;
  if (header[0] == 'I' && header[1] == 'I') {
    bigEndian = false;
  } else if (header[0] == 'M' && header[1] == 'M') {
    bigEndian = true;
  } else {
    return kOrientationUpright;
  }
  const std::uint64_t version = Unsigned(header + 2, 2, bigEndian);
  // Classic TIFF: 16-bit entry count, 12-byte entries with 4-byte counts.
  // BigTIFF: 64-bit entry count, 20-byte entries with 8-byte counts.
  int countBytes = 0;
  std::uint64_t directory = 0;
  if (version == 42) {
    countBytes = 2;
    directory = Unsigned(header + 4, 4, bigEndian);
  } else if (version == 43) {
    if (!ReadBytes(source, 8, header + 8, 8)) return kOrientationUpright;
    if (Unsigned(header + 4, 2, bigEndian) != 8 || Unsigned(header + 6, 2, bigEndian) != 0) {
      return kOrientationUpright;
    }
    countBytes = 8;
    directory = Unsigned(header + 8, 8, bigEndian);
  } else {
    return kOrientationUpright;
  }
  // No data is that long; refusing such offsets keeps the sums below exact.
  if (directory > kLargestOffset) return kOrientationUpright;
  const int valueCountBytes = countBytes == 2 ? 4 : 8;
  const std::uint64_t entryBytes = 4 + 2 * static_cast<std::uint64_t>(valueCountBytes);

  std::uint8_t countField[8];
  if (!ReadBytes(source, directory, countField, static_cast<std::size_t>(countBytes))) {
    return kOrientationUpright;
  }
  const std::uint64_t entries = Unsigned(countField, countBytes, bigEndian);
  // The whole entry table must be there: a count beyond the data is damage,
  // and checking its end first bounds the loop by the data's own length.
  const std::uint64_t tableStart = directory + static_cast<std::uint64_t>(countBytes);
  if (entries > kMaxDirectoryEntries) {
    return kOrientationUpright;
  }
  std::uint8_t probe = 0;
  if (entries == 0 || !ReadBytes(source, tableStart + entries * entryBytes - 1, &probe, 1)) {
    return kOrientationUpright;
  }
  for (std::uint64_t i = 0; i < entries; ++i) {
    std::uint8_t entry[20];
    if (!ReadBytes(source, tableStart + i * entryBytes, entry,
                   static_cast<std::size_t>(entryBytes))) {
      return kOrientationUpright;
    }
    if (Unsigned(entry, 2, bigEndian) != kOrientationTag) continue;
    // The first Orientation entry decides: one SHORT, held in the first two
    // bytes of the value field.
    if (Unsigned(entry + 2, 2, bigEndian) != kTypeShort ||
        Unsigned(entry + 4, valueCountBytes, bigEndian) != 1) {
      return kOrientationUpright;
    }
    const std::uint64_t value = Unsigned(entry + 4 + valueCountBytes, 2, bigEndian);
    return value >= kOrientationUpright && value <= kOrientationLast ? static_cast<int>(value)
                                                                     : kOrientationUpright;
  }
  return kOrientationUpright;
}

}  // namespace

int TiffOrientation(const ByteSource& source) {
  return TiffStructureOrientation(source);
}

int TiffOrientation(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr) return kOrientationUpright;
  Memory memory{bytes, size};
  return TiffOrientation(ByteSource{ReadMemory, &memory});
}

int JpegOrientation(const ByteSource& source) {
  std::uint8_t start[2];
  if (!ReadBytes(source, 0, start, 2) || start[0] != kMarkerPrefix || start[1] != kStartOfImage) {
    return kOrientationUpright;
  }
  // Each step moves on by at least one byte, and only while bytes are read,
  // so the walk ends at the end of the data whatever the markers say.
  std::uint64_t at = 2;
  for (;;) {
    std::uint8_t byte = 0;
    if (!ReadBytes(source, at, &byte, 1) || byte != kMarkerPrefix) return kOrientationUpright;
    // Any number of 0xFF fill bytes may come before a marker code.
    do {
      ++at;
      if (!ReadBytes(source, at, &byte, 1)) return kOrientationUpright;
    } while (byte == kMarkerPrefix);
    const std::uint8_t marker = byte;
    ++at;
    if (marker == kStartOfScan || marker == kEndOfImage || marker == 0) {
      return kOrientationUpright;
    }
    if (marker == kTemporary || (marker >= kFirstRestart && marker <= kLastRestart)) continue;

    std::uint8_t lengthField[2];
    if (!ReadBytes(source, at, lengthField, 2)) return kOrientationUpright;
    const std::uint64_t length = Unsigned(lengthField, 2, true);  // counts itself
    if (length < 2) return kOrientationUpright;
    const std::uint64_t payload = at + 2;
    const std::uint64_t payloadBytes = length - 2;
    if (marker == kApp1 && payloadBytes >= kExifSignatureBytes) {
      char signature[kExifSignatureBytes];
      if (ReadBytes(source, payload, signature, sizeof signature) &&
          std::memcmp(signature, kExifSignature, sizeof signature) == 0) {
        // The first Exif segment decides, even when it is damaged.
        Window window{&source, payload + kExifSignatureBytes, payloadBytes - kExifSignatureBytes};
        std::uint8_t last = 0;
        if (!ReadBytes(source, at + length - 1, &last, 1)) return kOrientationUpright;
        return TiffStructureOrientation(ByteSource{ReadWindow, &window});
      }
    }
    at += length;
  }
}

int JpegOrientation(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr) return kOrientationUpright;
  Memory memory{bytes, size};
  return JpegOrientation(ByteSource{ReadMemory, &memory});
}

