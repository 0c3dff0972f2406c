// File helpers shared by the codec and reader tests: whole files as bytes, the
// pixels of an image as bytes, and binary PPM references written by netpbm or
// ImageMagick.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/raster_image.h"
#include "private_temp_folder.h"

namespace engine_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ImageBytes(const engine::RasterImage& image) {
  return Bytes(image.PixelData(), image.PixelData() + image.ByteCount());
}

// A binary PPM (P6, maxval 255) as netpbm and ImageMagick write them.
struct Ppm {
  int width = 0;
  int height = 0;
  Bytes pixels;
};

inline Ppm ReadPpm(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  Ppm ppm;
  std::size_t at = 2;
  auto number = [&] {
    while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else {
        ++at;
      }
    }
    int value = 0;
    while (at < bytes.size() && std::isdigit(bytes[at])) value = value * 10 + (bytes[at++] - '0');
    return value;
  };
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
    ADD_FAILURE() << path << " is not a binary PPM file";
    return ppm;
  }
  ppm.width = number();
  ppm.height = number();
  const int maxval = number();
  ++at;
  const std::size_t count = static_cast<std::size_t>(ppm.width) * ppm.height * 3;
  if (maxval != 255 || bytes.size() < at + count) {
    ADD_FAILURE() << path << " has an unexpected header or is short";
    return ppm;
  }
  ppm.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
  return ppm;
}

}  // namespace engine_test
