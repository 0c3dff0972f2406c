// Fuzz target of the PNG reader: the input becomes a file that PngCodec
// opens and reads like any picture, into an image that is released again.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_input_file.h"

#include "engine/png_codec.h"
#include "engine/raster_image.h"

namespace {

// Inputs are cut here: a PNG file can claim about 8,000 bytes of picture
// per byte of its length, and larger inputs only make larger images.
constexpr std::size_t kMaxInputBytes = 16 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) size = kMaxInputBytes;
  const FuzzInputFile input(data, size, "png");
  const char* path = input.Path();
  if (path == nullptr) return 0;
  {
    engine::RasterImage image;
    engine::PngCodec codec;
    if (codec.OpenRead(path, image) == 1) codec.Read();
    codec.Close();
  }
  return 0;
}
