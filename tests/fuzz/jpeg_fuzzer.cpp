// Fuzz target of the JPEG reader: the input becomes a file, which JpegCodec
// opens and reads as the loader would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"

#include "engine/jpeg_codec.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Pictures above this many bytes are opened but not decoded: decoding a few
// bytes of data into a huge picture only pads it (cheaply, but for long), and
// the size limits themselves are already checked by opening.
constexpr std::int64_t kMaxDecodedBytes = 16 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) return 0;
  const FuzzInputFile input(data, size, "jpeg");
  const char* path = input.Path();
  if (path == nullptr) return 0;
  {
    engine::RasterImage image;
    engine::JpegCodec codec;
    if (codec.OpenRead(path, image)) {
      const std::int64_t bytes =
          static_cast<std::int64_t>(codec.Width()) * codec.Height() * (codec.BitsPerPixel() / 8);
      if (bytes <= kMaxDecodedBytes) {
        codec.Read();
      }
    }
    codec.Close();
  }
  return 0;
}
