// Fuzz target of the PCX reader. Run-length data expands up to 31.5 times, so
// large pictures are opened but not decoded.
#include "reader_fuzz_target.h"

#include "engine/pcx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::PcxReader reader;
  return FuzzReader(reader, {"pcx"}, data, size, DecodedSizeWorthReading<engine::PcxReader>);
}
