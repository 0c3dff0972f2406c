// Linked into every Windows test program. In the 64-bit programs it reserves
// all free address space below 4 GiB before main and fills what the existing
// heaps still hold below it, so that whatever the tests allocate from then on
// (heap blocks small and large, thread stacks, mappings) lies above 4 GiB, as
// on 64-bit Windows. Under Wine the heaps and the stacks would otherwise lie
// low, and a pointer cut to 32 bits would pass by luck.

#include <windows.h>

#include <cstdint>

#include "low_address_reservation_win.h"

namespace {

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

uint64_t ReserveLowAddressSpace() {
  uint64_t reserved = 0;
#if defined(_WIN64)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  auto address = reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
  while (address < kFourGiB) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == 0) break;
    const auto base = reinterpret_cast<uintptr_t>(region.BaseAddress);
    uintptr_t end = base + region.RegionSize;
    if (end > kFourGiB) end = kFourGiB;
    if (region.State == MEM_FREE) {
      // Reservations start on the allocation granularity (64 KiB).
      const uintptr_t granularity = info.dwAllocationGranularity;
      const uintptr_t start = (address + granularity - 1) / granularity * granularity;
      if (start < end &&
          VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESERVE, PAGE_NOACCESS)) {
        reserved += end - start;
      }
    }
    address = end;
  }
#endif
  return reserved;
}

#if defined(_WIN64)
// Takes every block a heap can still hand out below 4 GiB, largest sizes
// first, and keeps them for the life of the program: the heap's later blocks
// come from new segments, which can only lie above the reservation.
void FillHeapBelowFourGiB(HANDLE heap) {
  constexpr size_t kSizes[] = {65536, 4096, 256, 16};
  constexpr int kMostBlocksPerSize = 1 << 17;
  for (size_t size : kSizes) {
    for (int n = 0; n < kMostBlocksPerSize; ++n) {
      void* block = HeapAlloc(heap, 0, size);
      if (block == nullptr) break;
      if (reinterpret_cast<uintptr_t>(block) >= kFourGiB) {
        HeapFree(heap, 0, block);
        break;
      }
    }
  }
}
#endif

uint64_t TakeLowMemory() {
  const uint64_t reserved = ReserveLowAddressSpace();
#if defined(_WIN64)
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) FillHeapBelowFourGiB(heaps[i]);
#endif
  return reserved;
}

const uint64_t reservedBytes = TakeLowMemory();

}  // namespace

uint64_t LowAddressSpaceReserved() {
  return reservedBytes;
}
