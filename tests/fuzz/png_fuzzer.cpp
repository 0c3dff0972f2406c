// Fuzz target of the PNG reader: the input becomes a file that PngCodec
// opens and reads like any picture, into an image that is released again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/mapped_file.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"

namespace {

// Inputs are cut here: a PNG file can claim about 8,000 bytes of picture
// per byte of its length, and larger inputs only make larger images.
constexpr std::size_t kMaxInputBytes = 16 * 1024;

std::string InputPath() {
  const std::string folder = engine::TemporaryFolder();
  return (folder.empty() ? std::string("/tmp/") : folder) + "png_fuzz_input_" +
         std::to_string(static_cast<long>(getpid())) + ".png";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) size = kMaxInputBytes;
  static const std::string path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    std::remove(path.c_str());
    return 0;
  }
  {
    engine::RasterImage image;
    engine::PngCodec codec;
    if (codec.OpenRead(path.c_str(), image) == 1) codec.Read();
    codec.Close();
  }
  std::remove(path.c_str());
  return 0;
}
