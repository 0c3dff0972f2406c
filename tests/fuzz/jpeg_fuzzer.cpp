// Fuzz target of the JPEG reader: the input becomes a file, which JpegCodec
// opens and reads as the loader would.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/jpeg_codec.h"
#include "engine/mapped_file.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Pictures above this many bytes are opened but not decoded: decoding a few
// bytes of data into a huge picture only pads it (cheaply, but for long), and
// the size limits themselves are already checked by opening.
constexpr std::int64_t kMaxDecodedBytes = 16 << 20;

// Writes the input into a new private file; "" on failure.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size) {
  std::string path = engine::TemporaryFolder() + "jpeg-fuzz-XXXXXX";
  const int fd = mkstemp(&path[0]);
  if (fd < 0) return std::string();
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  close(fd);
  if (written != size) {
    std::remove(path.c_str());
    return std::string();
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInputBytes) return 0;
  const std::string path = WriteInputFile(data, size);
  if (path.empty()) return 0;
  {
    engine::RasterImage image;
    engine::JpegCodec codec;
    if (codec.OpenRead(path.c_str(), image)) {
      const std::int64_t bytes =
          static_cast<std::int64_t>(codec.Width()) * codec.Height() * (codec.BitsPerPixel() / 8);
      if (bytes <= kMaxDecodedBytes) {
        codec.Read();
      }
    }
    codec.Close();
  }
  std::remove(path.c_str());
  return 0;
}
