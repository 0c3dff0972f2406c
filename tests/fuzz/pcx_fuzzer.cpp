// Fuzz target of the PCX reader: the input becomes a file, which PcxReader
// opens and reads as the loader would.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/mapped_file.h"
#include "engine/pcx_reader.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Run-length data expands up to 31.5 times; pictures above this many bytes
// are opened but not decoded, which would only take long.
constexpr std::int64_t kMaxDecodedBytes = 16 << 20;

// Writes the input into a new private file; "" on failure.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size) {
  std::string path = engine::TemporaryFolder() + "pcx-fuzz-XXXXXX";
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
    engine::PcxReader reader;
    if (reader.OpenRead(path.c_str(), image)) {
      const std::int64_t bytes =
          static_cast<std::int64_t>(reader.Width()) * reader.Height() * (reader.BitsPerPixel() / 8);
      if (bytes <= kMaxDecodedBytes) {
        reader.Read();
      }
    }
    reader.Close();
  }
  std::remove(path.c_str());
  return 0;
}
