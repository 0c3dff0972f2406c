// Fuzz target of the PNG reader.
#include "reader_fuzz_target.h"

#include "engine/png_codec.h"

namespace {

// Inputs are cut here: a PNG file can claim about 8,000 bytes of picture
// per byte of its length, and larger inputs only make larger images.
constexpr std::size_t kMaxPngInputBytes = 16 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::PngCodec codec;
  ReaderFuzzLimits limits{"png", kMaxPngInputBytes};
  limits.cutLongerInputs = true;
  return FuzzReader(codec, limits, data, size);
}
