// The runtime allocator on the C library heap (native builds and tests).

#include <cstdlib>

#include "base/error_report.h"
#include "base/runtime_memory.h"

void* RuntimeAlloc(size_t size) {
  // malloc(0) may answer null; callers are promised a block.
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) ReportFatal(AllocationFailureText(size), 0);
  return block;
}

void* RuntimeRealloc(void* block, size_t size) {
  if (block == nullptr) return RuntimeAlloc(size);
  // realloc(block, 0) may free the block and answer null; keep a block instead.
  void* grown = std::realloc(block, size == 0 ? 1 : size);
  if (grown == nullptr) ReportFatal(AllocationFailureText(size), 0);
  return grown;
}

void RuntimeFree(void* block) {
  std::free(block);
}
