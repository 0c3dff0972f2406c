// Fuzz target of the BMP reader. Run-length pictures may leave any pixels
// unwritten, so a few bytes can declare a large picture: large pictures are
// opened but not decoded.
#include "reader_fuzz_target.h"

#include "engine/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::BmpReader reader;
  return FuzzReader(reader, {"bmp"}, data, size, DecodedSizeWorthReading<engine::BmpReader>);
}
