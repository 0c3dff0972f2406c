// Fuzz target of the Netpbm reader. Bitmaps expand eight times, so large
// pictures are opened but not decoded.
#include "reader_fuzz_target.h"

#include "engine/netpbm_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::NetpbmReader reader;
  return FuzzReader(reader, {"netpbm"}, data, size, DecodedSizeWorthReading<engine::NetpbmReader>);
}
