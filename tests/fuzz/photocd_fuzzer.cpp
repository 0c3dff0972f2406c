// Fuzz target of the PhotoCD reader. An image pack is at least 786,432 bytes
// long, more than is worth mutating, so a short input is the start of the
// file and zeros fill the rest (sample values steer nothing but the limits
// of 0..255); the input's length picks the resolution and whether the file
// falls one byte short of the base image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"

#include "engine/photocd_reader.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// length % 4: 0 base (the loader's choice), 1 base/16, 2 base/4, 3 refused.
constexpr int kResolutionOfLength[] = {engine::kPhotoCdBaseResolution,
                                       engine::kPhotoCdBase16Resolution,
                                       engine::kPhotoCdBase4Resolution, 3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > kMaxInputBytes) return 0;
  const int resolution = kResolutionOfLength[size % 4];
  const auto minimum = static_cast<std::size_t>(engine::kPhotoCdMinimumFileBytes);
  std::size_t length = size;
  if (size < minimum) length = (size / 4) % 2 == 1 ? minimum - 1 : minimum;
  const FuzzInputFile input(data, size, "photocd", length);
  const char* path = input.Path();
  if (path == nullptr) return 0;
  {
    engine::RasterImage image;
    engine::PhotoCdReader reader;
    if (reader.OpenRead(path, image, resolution)) {
      reader.Read();
    }
    reader.Close();
  }
  return 0;
}
