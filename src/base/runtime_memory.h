#pragma once

// The runtime allocator. Every text, byte set or array a runtime command
// returns comes from here and is freed by the caller with RuntimeFree.
// Allocation never returns null: a failure is a fatal report
// ("分配 %d 字节内存失败!", code 0) that ends the program.

#include <cstddef>
#include <string>
#include <string_view>

void* RuntimeAlloc(size_t size);
void* RuntimeRealloc(void* block, size_t size);  // block null: as RuntimeAlloc
void RuntimeFree(void* block);                   // null does nothing

// A new zero-terminated copy of text, from RuntimeAlloc.
char* RuntimeTextCopy(std::string_view text);

// Owns one runtime block; frees it with RuntimeFree.
class RuntimeBlock {
 public:
  RuntimeBlock() = default;
  explicit RuntimeBlock(void* block) : block_(block) {}
  RuntimeBlock(const RuntimeBlock&) = delete;
  RuntimeBlock& operator=(const RuntimeBlock&) = delete;
  RuntimeBlock(RuntimeBlock&& other) noexcept : block_(other.Release()) {}
  RuntimeBlock& operator=(RuntimeBlock&& other) noexcept {
    if (this != &other) {
      RuntimeFree(block_);
      block_ = other.Release();
    }
    return *this;
  }
  ~RuntimeBlock() { RuntimeFree(block_); }

  void* Get() const { return block_; }
  void* Release() {
    void* b = block_;
    block_ = nullptr;
    return b;
  }

 private:
  void* block_ = nullptr;
};

// Internal: the text of the allocation failure report for a request of size bytes.
std::string AllocationFailureText(size_t size);
