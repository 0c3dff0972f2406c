// Fuzz target of the TIFF reader, which also checks the progress reports.
#include "reader_fuzz_target.h"

#include "engine/mapped_file.h"
#include "engine/tiff_codec.h"

namespace {

// Declared sizes above this are not decoded: a valid picture of that size
// would only measure the disk, as the mapped storage is real. Sizes the reader
// refuses by itself still go through Read, which must refuse them.
constexpr std::uint64_t kMaxDecodedPixels = 4 << 20;

bool WorthDecoding(const engine::TiffCodec& codec) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(codec.Width()) * codec.Height();
  const bool refusedByReader = pixels > static_cast<std::uint64_t>(engine::kMaxMappedBytes) / 4;
  return pixels <= kMaxDecodedPixels || refusedByReader;
}

// Progress reports must stay in range whatever the file says.
void CheckProgress(std::int32_t direction, std::int32_t percent, std::int32_t row,
                   std::int32_t reserved) {
  if (direction != engine::kProgressReading || percent < 0 || percent > 100 || row < 0 ||
      reserved != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::TiffCodec codec;
  ReaderFuzzLimits limits{"tiff"};
  limits.progress = CheckProgress;
  return FuzzReader(codec, limits, data, size, WorthDecoding);
}
