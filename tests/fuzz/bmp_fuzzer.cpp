// Fuzz target of the BMP reader: the input becomes a file, which BmpReader
// opens and reads as the loader would.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/bmp_reader.h"
#include "engine/mapped_file.h"
#include "engine/raster_image.h"

namespace {

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Writes the input into a new private file; "" on failure.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size) {
  std::string path = engine::TemporaryFolder() + "bmp-fuzz-XXXXXX";
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
    // Every accepted picture's rows are in the file, so decoding is bounded
    // by the input size and needs no cap of its own.
    engine::RasterImage image;
    engine::BmpReader reader;
    if (reader.OpenRead(path.c_str(), image)) {
      reader.Read();
    }
    reader.Close();
  }
  std::remove(path.c_str());
  return 0;
}
