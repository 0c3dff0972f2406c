// Helpers of the loader and command tests: the pictures of
// tests/testdata/make_commands.sh, their reference pixels (8-bit binary PPM
// written by independent decoders), pixel comparison against a RasterImage of
// any layout, and byte-level views of the PNG and TIFF files the commands
// write.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/raster_image.h"
#include "private_temp_folder.h"

namespace command_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline std::string DataPath(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/commands/" + name;
}

inline Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// An 8-bit binary PPM (P6, maxval 255).
struct Reference {
  int width = 0;
  int height = 0;
  Bytes samples;  // red, green, blue per pixel, top row first
  Rgb At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {samples[at], samples[at + 1], samples[at + 2]};
  }
};

inline Reference ReadReference(const std::string& path) {
  Reference picture;
  const Bytes bytes = FileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  if (text.compare(0, 2, "P6") != 0) {
    ADD_FAILURE() << path << " is no binary PPM";
    return picture;
  }
  // The header is "P6", width, height, maxval, each followed by one white
  // space; netpbm writes no comments.
  std::istringstream header(text.substr(2, 64));
  int maxval = 0;
  header >> picture.width >> picture.height >> maxval;
  const std::size_t offset = 2 + static_cast<std::size_t>(header.tellg()) + 1;
  const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height * 3;
  if (maxval != 255 || bytes.size() < offset + count) {
    ADD_FAILURE() << path << " is not an 8-bit PPM of its declared size";
    picture = Reference();
    return picture;
  }
  picture.samples.assign(bytes.begin() + offset, bytes.begin() + offset + count);
  return picture;
}

// The colour of one pixel of an image of any layout (alpha left out).
inline Rgb ColourAt(const engine::RasterImage& image, int x, int y) {
  const std::uint8_t* pixel = image.Row(y) + static_cast<std::size_t>(x) * image.BytesPerPixel();
  switch (image.BitsPerPixel()) {
    case 8:
      if (image.PaletteSize() == 0) return {pixel[0], pixel[0], pixel[0]};
      if (pixel[0] < image.PaletteSize()) {
        const engine::PaletteEntry& entry = image.PaletteEntries()[pixel[0]];
        return {entry.red, entry.green, entry.blue};
      }
      ADD_FAILURE() << "palette index " << int(pixel[0]) << " outside the palette";
      return {};
    case 16: {
      const std::uint16_t word = static_cast<std::uint16_t>(pixel[0] | pixel[1] << 8);
      return {engine::Red16(word), engine::Green16(word), engine::Blue16(word)};
    }
    case 24:
      return {pixel[0], pixel[1], pixel[2]};
    case 32:
      return {pixel[1], pixel[2], pixel[3]};
    default:
      ADD_FAILURE() << "image of " << image.BitsPerPixel() << " bits";
      return {};
  }
}

// Largest and mean difference of any channel between image and reference.
struct Difference {
  int largest = 0;
  double mean = 0;
};

inline Difference CompareWith(const engine::RasterImage& image, const Reference& reference,
                              bool asGrey = false) {
  Difference difference;
  if (image.Width() != reference.width || image.Height() != reference.height) {
    ADD_FAILURE() << "image " << image.Width() << "x" << image.Height() << ", reference "
                  << reference.width << "x" << reference.height;
    difference.largest = 256;
    return difference;
  }
  long long total = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const Rgb got = ColourAt(image, x, y);
      Rgb want = reference.At(x, y);
      if (asGrey) {
        const std::uint8_t grey = engine::GreyOf(want.red, want.green, want.blue);
        want = {grey, grey, grey};
      }
      for (const auto& [a, b] :
           {std::pair<int, int>{got.red, want.red}, std::pair<int, int>{got.green, want.green},
            std::pair<int, int>{got.blue, want.blue}}) {
        const int delta = std::abs(a - b);
        total += delta;
        if (delta > difference.largest) difference.largest = delta;
      }
    }
  }
  difference.mean = static_cast<double>(total) / (3.0 * reference.width * reference.height);
  return difference;
}

inline std::uint32_t BigEndian32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes.at(at)) << 24 | bytes.at(at + 1) << 16 |
         bytes.at(at + 2) << 8 | bytes.at(at + 3);
}

// The chunk types of a PNG file in order, and its header fields.
struct PngLayout {
  std::vector<std::string> chunks;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = -1;
  int colourType = -1;
  int interlace = -1;
};

inline PngLayout ParsePng(const Bytes& bytes) {
  PngLayout layout;
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() < 8 || !std::equal(kSignature, kSignature + 8, bytes.begin())) {
    ADD_FAILURE() << "no PNG signature";
    return layout;
  }
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::uint32_t length = BigEndian32(bytes, at);
    const std::string type(bytes.begin() + at + 4, bytes.begin() + at + 8);
    if (layout.chunks.empty() || layout.chunks.back() != type) layout.chunks.push_back(type);
    if (type == "IHDR" && length >= 13) {
      layout.width = BigEndian32(bytes, at + 8);
      layout.height = BigEndian32(bytes, at + 12);
      layout.bitDepth = bytes.at(at + 16);
      layout.colourType = bytes.at(at + 17);
      layout.interlace = bytes.at(at + 20);
    }
    at += 12 + static_cast<std::size_t>(length);
  }
  return layout;
}

// The first directory of a little-endian TIFF file: tag -> values (SHORT and
// LONG fields only).
struct TiffLayout {
  bool littleEndian = false;
  std::map<std::uint16_t, std::vector<std::uint32_t>> fields;

  std::uint32_t One(std::uint16_t tag) const {
    auto found = fields.find(tag);
    return found == fields.end() || found->second.size() != 1 ? 0xDEADBEEF : found->second[0];
  }
  bool Has(std::uint16_t tag) const { return fields.count(tag) != 0; }
};

inline std::uint32_t LittleEndianAt(const Bytes& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(at + i);
  return value;
}

inline TiffLayout ParseTiff(const Bytes& bytes) {
  TiffLayout layout;
  if (bytes.size() < 8 || bytes[0] != 'I' || bytes[1] != 'I' || LittleEndianAt(bytes, 2, 2) != 42) {
    return layout;
  }
  layout.littleEndian = true;
  const std::size_t directory = LittleEndianAt(bytes, 4, 4);
  const std::size_t count = LittleEndianAt(bytes, directory, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = directory + 2 + i * 12;
    const auto tag = static_cast<std::uint16_t>(LittleEndianAt(bytes, entry, 2));
    const std::uint32_t type = LittleEndianAt(bytes, entry + 2, 2);
    const std::uint32_t values = LittleEndianAt(bytes, entry + 4, 4);
    const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
    if (size == 0) continue;
    const std::size_t at = static_cast<std::size_t>(size) * values <= 4
                               ? entry + 8
                               : LittleEndianAt(bytes, entry + 8, 4);
    for (std::uint32_t v = 0; v < values; ++v) {
      layout.fields[tag].push_back(LittleEndianAt(bytes, at + v * size, size));
    }
  }
  return layout;
}

// TIFF tags the tests look at.
constexpr std::uint16_t kTagBitsPerSample = 258;
constexpr std::uint16_t kTagCompression = 259;
constexpr std::uint16_t kTagPhotometric = 262;
constexpr std::uint16_t kTagSamplesPerPixel = 277;
constexpr std::uint16_t kTagColorMap = 320;

}  // namespace command_test
