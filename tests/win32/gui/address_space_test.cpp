// The 64-bit test programs run with the address space below 4 GiB taken, so
// that a pointer or handle cut to 32 bits fails under Wine as it would on
// 64-bit Windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>

#include "base/runtime_memory.h"
#include "low_address_reservation_win.h"

namespace {

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

TEST(AddressSpace, SixtyFourBitTestProgramsGetMemoryAndStacksAboveFourGiB) {
  if (sizeof(void*) == 4) GTEST_SKIP() << "the 32-bit program has no memory above 4 GiB";
  EXPECT_GT(LowAddressSpaceReserved(), uint64_t{1} << 30);

  void* region = VirtualAlloc(nullptr, 1 << 16, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(region, nullptr);
  EXPECT_GE(uint64_t{reinterpret_cast<uintptr_t>(region)}, kFourGiB);
  VirtualFree(region, 0, MEM_RELEASE);

  // Blocks of the runtime's heap and of the C++ heap, small and large.
  for (size_t size : {size_t{16}, size_t{200}, size_t{4} << 20}) {
    RuntimeBlock block(RuntimeAlloc(size));
    EXPECT_GE(uint64_t{reinterpret_cast<uintptr_t>(block.Get())}, kFourGiB) << size;
    const std::unique_ptr<char[]> bytes(new char[size]);
    EXPECT_GE(uint64_t{reinterpret_cast<uintptr_t>(bytes.get())}, kFourGiB) << size;
  }

  uintptr_t stackAddress = 0;
  std::thread([&] {
    int local = 0;
    stackAddress = reinterpret_cast<uintptr_t>(&local);
  }).join();
  EXPECT_GE(uint64_t{stackAddress}, kFourGiB);
}

}  // namespace
