// File helpers shared by the codec and reader tests: whole files as bytes, the
// pixels of an image as bytes, and binary PPM references written by netpbm or
// ImageMagick.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// The pixels of an image of any layout as red, green, blue, alpha bytes, top
// row first: what ImageMagick writes for `convert picture -depth 8 rgba:out`
// (alpha 255 where the image has none).
inline Bytes ImageAsRgba(const engine::RasterImage& image) {
  Bytes rgba;
  rgba.reserve(static_cast<std::size_t>(image.Width()) * image.Height() * 4);
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    const std::uint8_t* pixel = image.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, pixel += image.BytesPerPixel()) {
      switch (image.BitsPerPixel()) {
        case 8:
          if (image.PaletteSize() == 0) {
            rgba.insert(rgba.end(), {pixel[0], pixel[0], pixel[0], 255});
          } else if (pixel[0] < image.PaletteSize()) {
            const engine::PaletteEntry& entry = image.PaletteEntries()[pixel[0]];
            rgba.insert(rgba.end(), {entry.red, entry.green, entry.blue, 255});
          } else {
            ADD_FAILURE() << "palette index " << int{pixel[0]} << " outside the palette";
            return Bytes();
          }
          break;
        case 24:
          rgba.insert(rgba.end(), {pixel[0], pixel[1], pixel[2], 255});
          break;
        case 32:
          rgba.insert(rgba.end(), {pixel[1], pixel[2], pixel[3], pixel[0]});
          break;
        default:
          ADD_FAILURE() << "image of " << image.BitsPerPixel() << " bits";
          return Bytes();
      }
    }
  }
  return rgba;
}

// The first differing pixel of two RGBA pictures of the given width, for
// failure messages; "" when they are equal.
inline std::string FirstRgbaDifference(const Bytes& got, const Bytes& want, int width) {
  if (got.size() != want.size()) {
    return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size());
  }
  for (std::size_t i = 0; i < got.size(); i += 4) {
    if (!std::equal(got.begin() + i, got.begin() + i + 4, want.begin() + i)) {
      const std::size_t pixel = i / 4;
      auto text = [&](const Bytes& b) {
        return std::to_string(b[i]) + "," + std::to_string(b[i + 1]) + "," +
               std::to_string(b[i + 2]) + "," + std::to_string(b[i + 3]);
      };
      return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) +
             "): " + text(got) + " instead of " + text(want);
    }
  }
  return "";
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
