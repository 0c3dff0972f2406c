// Fuzz target of the JPEG reader.
#include "reader_fuzz_target.h"

#include "engine/jpeg_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::JpegCodec codec;
  return FuzzReader(codec, {"jpeg"}, data, size, DecodedSizeWorthReading<engine::JpegCodec>);
}
