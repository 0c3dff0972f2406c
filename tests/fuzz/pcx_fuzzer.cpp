// Fuzz target of the PCX reader: the input becomes a file, which PcxReader
// opens and reads as the loader would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"

#include "engine/pcx_reader.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Run-length data expands up to 31.5 times; pictures above this many bytes
// are opened but not decoded, which would only take long.
constexpr std::int64_t kMaxDecodedBytes = 16 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) return 0;
  const FuzzInputFile input(data, size, "pcx");
  const char* path = input.Path();
  if (path == nullptr) return 0;
  {
    engine::RasterImage image;
    engine::PcxReader reader;
    if (reader.OpenRead(path, image)) {
      const std::int64_t bytes =
          static_cast<std::int64_t>(reader.Width()) * reader.Height() * (reader.BitsPerPixel() / 8);
      if (bytes <= kMaxDecodedBytes) {
        reader.Read();
      }
    }
    reader.Close();
  }
  return 0;
}
