// Bounded reading for the engine's hand-written readers: a read-only file that
// knows its own size, and a cursor over bytes already in memory. Neither ever
// reads outside what it holds, whatever offsets and sizes a damaged file
// declares; a read that does not fit fails and reads nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace engine {

// Owns one stdio file opened for binary reading and knows its size.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens path for binary reading and measures it. 1, or 0 with nothing open.
  int Open(const char* path);
  void Close();

  bool IsOpen() const { return file != nullptr; }
  // Size in bytes as measured by Open; 0 while closed.
  std::int64_t Size() const { return size; }

  // Reads exactly count bytes starting at offset. 1, or 0 when the file ends
  // before them (or holds fewer bytes than it did at Open).
  int ReadAt(std::int64_t offset, void* buffer, std::size_t count);

 private:
  std::FILE* file = nullptr;
  std::int64_t size = 0;
  std::int64_t position = 0;  // of the stdio stream; -1 when unknown
};

// Little-endian reads over size bytes at data. Reads by position leave the
// cursor where it is; sequential reads move it. Every read that would pass
// the end fails, returns false and leaves the output and the cursor alone.
class ByteCursor {
 public:
  ByteCursor(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

  std::size_t Size() const { return size; }
  // Bytes the sequential reads have taken so far.
  std::size_t Position() const { return position; }

  bool U8At(std::size_t offset, std::uint8_t& value) const {
    if (!Fits(offset, 1)) return false;
    value = data[offset];
    return true;
  }
  bool U16At(std::size_t offset, std::uint16_t& value) const {
    if (!Fits(offset, 2)) return false;
    value = static_cast<std::uint16_t>(data[offset] | data[offset + 1] << 8);
    return true;
  }
  bool U32At(std::size_t offset, std::uint32_t& value) const {
    if (!Fits(offset, 4)) return false;
    value = static_cast<std::uint32_t>(data[offset]) |
            static_cast<std::uint32_t>(data[offset + 1]) << 8 |
            static_cast<std::uint32_t>(data[offset + 2]) << 16 |
            static_cast<std::uint32_t>(data[offset + 3]) << 24;
    return true;
  }
  bool I32At(std::size_t offset, std::int32_t& value) const {
    std::uint32_t bits = 0;
    if (!U32At(offset, bits)) return false;
    // Two's complement without relying on an implementation-defined cast.
    value = bits <= 0x7FFFFFFFu ? static_cast<std::int32_t>(bits)
                                : -static_cast<std::int32_t>(~bits) - 1;
    return true;
  }

  bool NextByte(std::uint8_t& value) {
    if (!U8At(position, value)) return false;
    ++position;
    return true;
  }

 private:
  bool Fits(std::size_t offset, std::size_t count) const {
    return offset <= size && count <= size - offset;
  }

  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
};

}  // namespace engine
