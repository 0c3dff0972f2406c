#pragma once

// A counted byte buffer from the runtime allocator, with one owner. The empty
// buffer holds no block. Running out of memory is the runtime's fatal report,
// so a buffer of a requested size is never silently missing.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/runtime_memory.h"

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept
      : block(std::move(other.block)), size(std::exchange(other.size, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      block = std::move(other.block);
      size = std::exchange(other.size, 0);
    }
    return *this;
  }

  // size zero bytes; empty when size is 0.
  static ByteBuffer Zeroed(size_t size) {
    ByteBuffer buffer = Allocated(size);
    if (size > 0) std::memset(buffer.Data(), 0, size);
    return buffer;
  }

  // A copy of size bytes at data; empty when size is 0.
  static ByteBuffer CopyOf(const void* data, size_t size) {
    ByteBuffer buffer = Allocated(size);
    if (size > 0) std::memcpy(buffer.Data(), data, size);
    return buffer;
  }

  uint8_t* Data() { return static_cast<uint8_t*>(block.Get()); }
  const uint8_t* Data() const { return static_cast<const uint8_t*>(block.Get()); }
  size_t Size() const { return size; }
  bool Empty() const { return size == 0; }

 private:
  static ByteBuffer Allocated(size_t size) {
    ByteBuffer buffer;
    if (size > 0) {
      buffer.block = RuntimeBlock(RuntimeAlloc(size));
      buffer.size = size;
    }
    return buffer;
  }

  RuntimeBlock block;
  size_t size = 0;
};
