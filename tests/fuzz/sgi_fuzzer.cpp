// Fuzz target of the SGI reader. Run-length rows may share their data, so a
// small file can make a large picture: those are opened but not decoded.
#include "reader_fuzz_target.h"

#include "engine/sgi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::SgiReader reader;
  return FuzzReader(reader, {"sgi"}, data, size, DecodedSizeWorthReading<engine::SgiReader>);
}
