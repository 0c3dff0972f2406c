#pragma once

#include <cstdint>

// Bytes of free address space below 4 GiB that the test program reserved
// before main: none in the 32-bit programs.
uint64_t LowAddressSpaceReserved();
