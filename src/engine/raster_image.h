// The engine's in-memory picture: every reader decodes into a RasterImage and
// every writer encodes from one. Pixels live in mapped temporary storage.
//
// Layouts (rows top first, no padding, stride = width x bytes per pixel):
//   8 bits, palette size 0   grey level
//   8 bits, palette size n   index into the palette
//   16 bits                  little-endian word, red 15..11, green 10..6,
//                            blue 5..1 (top five bits of each), bit 0 clear
//   24 bits                  red, green, blue
//   32 bits                  alpha, red, green, blue (255 where synthesised)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/mapped_file.h"

namespace engine {

// Prefix of the backing files of images and of the readers' scratch buffers.
constexpr const char kTempFilePrefix[] = "CSWCLASS";

struct PaletteEntry {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  std::uint8_t reserved;  // 255 in palettes built by quantisation
  std::uint32_t key;      // quantised palettes: blue << 16 | green << 8 | red
};
static_assert(sizeof(PaletteEntry) == 8, "palette entries are 8 bytes");

// Colour helpers of the 16-bit layout and the grey conversion.
constexpr std::uint16_t PackRgb16(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint16_t>(((red >> 3) << 11) | ((green >> 3) << 6) | ((blue >> 3) << 1));
}
constexpr std::uint8_t Red16(std::uint16_t word) {
  return static_cast<std::uint8_t>((word >> 8) & 0xF8);
}
constexpr std::uint8_t Green16(std::uint16_t word) {
  return static_cast<std::uint8_t>((word >> 3) & 0xF8);
}
constexpr std::uint8_t Blue16(std::uint16_t word) {
  return static_cast<std::uint8_t>((word << 2) & 0xF8);
}
// Weights 306, 601 and 117 add up to 1024.
constexpr std::uint8_t GreyOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint8_t>((306u * red + 601u * green + 117u * blue) >> 10);
}

class Palette {
 public:
  Palette() = default;
  Palette(const Palette&) = delete;
  Palette& operator=(const Palette&) = delete;

  // Replaces the entries by n zeroed entries; 0 (and an empty palette) when
  // n is negative or the allocation fails.
  int Resize(std::int32_t n);
  void Release();
  void Swap(Palette& other) noexcept;

  std::int32_t Count() const { return count; }
  PaletteEntry* Entries() { return entries.get(); }
  const PaletteEntry* Entries() const { return entries.get(); }

 private:
  std::unique_ptr<PaletteEntry[]> entries;
  std::int32_t count = 0;
};

class RasterImage {
 public:
  RasterImage() = default;
  ~RasterImage() { Release(); }
  RasterImage(const RasterImage&) = delete;
  RasterImage& operator=(const RasterImage&) = delete;

  // Releases the previous content (deleting its backing file), then makes a
  // zero-filled image in a new backing file. Fails, leaving the image empty,
  // when width or height is below 1, bits is not 8, 16, 24 or 32, bits is 8
  // with a negative paletteSize, or the storage would exceed
  // kMaxMappedBytes. paletteSize counts only for 8 bits (0 = grey).
  int Create(std::int32_t width, std::int32_t height, std::int32_t bits, std::int32_t paletteSize);

  // Frees the palette, unmaps the storage and deletes its backing file.
  int Release();

  // Becomes a copy of source (layout, pixels, palette). Fails on an empty
  // source.
  int CopyFrom(const RasterImage& source);

  // Makes destination a (width, height, bits, paletteSize) image holding this
  // picture: a copy when the layout already matches, the grey conversion for
  // 8 bits without palette, quantisation to at most paletteSize colours for
  // 8 bits with a palette, and the direct conversions for 16, 24 and 32.
  // Fails on an empty image or when destination is this image.
  int ConvertTo(RasterImage& destination, std::int32_t bits, std::int32_t paletteSize) const;

  // Exchanges the whole content (layout, pixels with their backing file,
  // palette) with other: a picture made anew in a second image takes the
  // place of this one without a copy.
  void Swap(RasterImage& other) noexcept;

  // Schedules the write-back of the pixel storage.
  int Flush();

  bool IsEmpty() const { return bitsPerPixel == 0; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  std::int32_t BytesPerPixel() const { return bitsPerPixel / 8; }
  std::int32_t PaletteSize() const { return paletteSize; }
  std::int32_t Stride() const { return width * BytesPerPixel(); }
  std::int64_t ByteCount() const { return storage.Size(); }
  std::uint8_t* PixelData() { return pixelData; }
  const std::uint8_t* PixelData() const { return pixelData; }
  std::uint8_t* Row(std::int32_t row) {
    return pixelData + static_cast<std::ptrdiff_t>(row) * Stride();
  }
  const std::uint8_t* Row(std::int32_t row) const {
    return pixelData + static_cast<std::ptrdiff_t>(row) * Stride();
  }
  PaletteEntry* PaletteEntries() { return palette.Entries(); }
  const PaletteEntry* PaletteEntries() const { return palette.Entries(); }
  // Path of the backing file; "" while empty.
  const std::string& BackingPath() const { return storage.Path(); }

 private:
  int ConvertDirect(RasterImage& destination) const;
  int Quantise(RasterImage& destination, std::int32_t maxColours) const;

  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bitsPerPixel = 0;
  std::uint8_t* pixelData = nullptr;
  std::int32_t paletteSize = 0;
  MappedBuffer storage;
  Palette palette;
};

}  // namespace engine
