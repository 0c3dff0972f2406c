// Fuzz target of the BMP reader. Every accepted picture's rows are in the
// file, so decoding is bounded by the input size and needs no cap of its own.
#include "reader_fuzz_target.h"

#include "engine/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::BmpReader reader;
  return FuzzReader(reader, {"bmp"}, data, size);
}
