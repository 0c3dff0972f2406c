// Fuzz target of the BMP reader: the input becomes a file, which BmpReader
// opens and reads as the loader would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"

#include "engine/bmp_reader.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) return 0;
  const FuzzInputFile input(data, size, "bmp");
  const char* path = input.Path();
  if (path == nullptr) return 0;
  {
    // Every accepted picture's rows are in the file, so decoding is bounded
    // by the input size and needs no cap of its own.
    engine::RasterImage image;
    engine::BmpReader reader;
    if (reader.OpenRead(path, image)) {
      reader.Read();
    }
    reader.Close();
  }
  return 0;
}
