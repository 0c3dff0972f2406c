// BufferedInput: sequential reading of an InputFile through a small buffer,
// for the readers whose data is a stream of bytes (text headers, run-length
// packets) rather than rows at known offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/byte_cursor.h"

namespace engine {

class BufferedInput {
 public:
  BufferedInput() = default;
  BufferedInput(const BufferedInput&) = delete;
  BufferedInput& operator=(const BufferedInput&) = delete;

  // Reads file from offset on; the file must stay open while this reads.
  // false when the buffer cannot be allocated.
  bool Start(InputFile& file, std::int64_t offset);

  // The next byte; false at the end of the file (or a read error).
  bool NextByte(std::uint8_t& value) {
    if (next == filled && !Refill()) return false;
    value = buffer[next++];
    return true;
  }
  // Exactly count bytes, or false when the file ends first.
  bool Next(std::uint8_t* to, std::size_t count);

  // Offset in the file of the byte NextByte returns next.
  std::int64_t Offset() const { return bufferOffset + static_cast<std::int64_t>(next); }

 private:
  bool Refill();

  InputFile* file = nullptr;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::int64_t bufferOffset = 0;  // file offset of buffer[0]
  std::size_t filled = 0;
  std::size_t next = 0;
};

}  // namespace engine
