// Fuzz target of the PhotoCD reader. An image pack is at least 786,432 bytes
// long, more than is worth mutating, so a short input is the start of the
// file and zeros fill the rest (sample values steer nothing but the limits
// of 0..255); the input's length picks the resolution and whether the file
// falls one byte short of the base image.
#include "reader_fuzz_target.h"

#include "engine/photocd_reader.h"

namespace {

// length % 4: 0 base (the loader's choice), 1 base/16, 2 base/4, 3 refused.
constexpr int kResolutionOfLength[] = {engine::kPhotoCdBaseResolution,
                                       engine::kPhotoCdBase16Resolution,
                                       engine::kPhotoCdBase4Resolution, 3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  engine::PhotoCdReader reader(kResolutionOfLength[size % 4]);
  ReaderFuzzLimits limits{"photocd"};
  const auto minimum = static_cast<std::size_t>(engine::kPhotoCdMinimumFileBytes);
  if (size < minimum) limits.paddedLength = (size / 4) % 2 == 1 ? minimum - 1 : minimum;
  return FuzzReader(reader, limits, data, size);
}
