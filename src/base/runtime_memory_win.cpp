// The runtime allocator on the process heap.

#include <windows.h>

#include "base/error_report.h"
#include "base/runtime_memory.h"

namespace {
HANDLE ProcessHeap() {
  static const HANDLE heap = GetProcessHeap();
  return heap;
}
}  // namespace

void* RuntimeAlloc(size_t size) {
  void* block = HeapAlloc(ProcessHeap(), 0, size);
  if (block == nullptr) ReportFatal(AllocationFailureText(size), 0);
  return block;
}

void* RuntimeRealloc(void* block, size_t size) {
  if (block == nullptr) return RuntimeAlloc(size);
  void* grown = HeapReAlloc(ProcessHeap(), 0, block, size);
  if (grown == nullptr) ReportFatal(AllocationFailureText(size), 0);
  return grown;
}

void RuntimeFree(void* block) {
  if (block != nullptr) HeapFree(ProcessHeap(), 0, block);
}
