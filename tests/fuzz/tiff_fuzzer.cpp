// Fuzz target of the TIFF reader: the bytes become a file, which goes through
// the probe and the read step exactly as the loader runs them.
#include <fcntl.h>
#include <stdlib.h>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"

#include "engine/codec_conventions.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"

namespace {

constexpr std::size_t kMaxInputBytes = 1 << 20;
// Declared sizes above this are not decoded: a valid picture of that size
// would only measure the disk, as the mapped storage is real. Sizes the reader
// refuses by itself still go through Read, which must refuse them.
constexpr std::uint64_t kMaxDecodedPixels = 4 << 20;

bool WorthDecoding(std::uint64_t pixels) {
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
  if (size > kMaxInputBytes) return 0;
  const FuzzInputFile input(data, size, "tiff");
  if (const char* path = input.Path()) {
    engine::RasterImage image;
    engine::TiffCodec codec;
    if (codec.OpenRead(path, &image, CheckProgress) == 1) {
      const std::uint64_t pixels = static_cast<std::uint64_t>(codec.Width()) * codec.Height();
      if (WorthDecoding(pixels)) {
        codec.Read();
      } else {
        codec.Close();
      }
    }
  }
  return 0;
}
