// Sequential buffered reading for the stream-shaped readers.
#include "engine/buffered_input.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace engine {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

bool BufferedInput::Start(InputFile& input, std::int64_t offset) {
  if (!buffer) buffer.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
  file = &input;
  bufferOffset = offset;
  filled = 0;
  next = 0;
  return buffer != nullptr;
}

bool BufferedInput::Refill() {
  if (file == nullptr || !buffer) return false;
  const std::int64_t offset = bufferOffset + static_cast<std::int64_t>(filled);
  const std::int64_t left = file->Size() - offset;
  if (left <= 0) return false;
  const auto count = static_cast<std::size_t>(std::min<std::int64_t>(left, kBufferBytes));
  if (!file->ReadAt(offset, buffer.get(), count)) return false;
  bufferOffset = offset;
  filled = count;
  next = 0;
  return true;
}

bool BufferedInput::Next(std::uint8_t* to, std::size_t count) {
  while (count > 0) {
    if (next == filled && !Refill()) return false;
    const std::size_t taken = std::min(count, filled - next);
    std::memcpy(to, buffer.get() + next, taken);
    next += taken;
    to += taken;
    count -= taken;
  }
  return true;
}

}  // namespace engine
