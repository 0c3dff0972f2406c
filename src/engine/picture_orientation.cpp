// Orientation and flattening of decoded pictures.
#include "engine/picture_orientation.h"

#include <cstring>

#include "base/exif_orientation.h"

namespace engine {

namespace {

// Where the pixel at (x, y) of the upright picture comes from in the stored
// one (width x height). Upright pictures of orientations 5 to 8 are height
// wide and width high.
struct SourceMap {
  int orientation;
  std::int32_t width;
  std::int32_t height;

  void From(std::int32_t x, std::int32_t y, std::int32_t& sourceX, std::int32_t& sourceY) const {
    switch (orientation) {
      case 2:
        sourceX = width - 1 - x;
        sourceY = y;
        return;
      case 3:
        sourceX = width - 1 - x;
        sourceY = height - 1 - y;
        return;
      case 4:
        sourceX = x;
        sourceY = height - 1 - y;
        return;
      case 5:
        sourceX = y;
        sourceY = x;
        return;
      case 6:
        sourceX = y;
        sourceY = height - 1 - x;
        return;
      case 7:
        sourceX = width - 1 - y;
        sourceY = height - 1 - x;
        return;
      case 8:
        sourceX = width - 1 - y;
        sourceY = x;
        return;
      default:
        sourceX = x;
        sourceY = y;
        return;
    }
  }
};

}  // namespace

int ApplyOrientation(RasterImage& image, int orientation) {
  if (image.IsEmpty() || orientation <= kOrientationUpright || orientation > kOrientationLast) {
    return 1;
  }
  const bool swapsSides = orientation >= 5;
  const std::int32_t uprightWidth = swapsSides ? image.Height() : image.Width();
  const std::int32_t uprightHeight = swapsSides ? image.Width() : image.Height();
  RasterImage upright;
  if (!upright.Create(uprightWidth, uprightHeight, image.BitsPerPixel(), image.PaletteSize())) {
    return 0;
  }
  if (image.PaletteSize() > 0) {
    std::memcpy(upright.PaletteEntries(), image.PaletteEntries(),
                sizeof(PaletteEntry) * static_cast<std::size_t>(image.PaletteSize()));
  }
  const SourceMap map{orientation, image.Width(), image.Height()};
  const auto pixelBytes = static_cast<std::size_t>(image.BytesPerPixel());
  for (std::int32_t y = 0; y < uprightHeight; ++y) {
    std::uint8_t* to = upright.Row(y);
    for (std::int32_t x = 0; x < uprightWidth; ++x, to += pixelBytes) {
      std::int32_t sourceX = 0;
      std::int32_t sourceY = 0;
      map.From(x, y, sourceX, sourceY);
      std::memcpy(to, image.Row(sourceY) + static_cast<std::size_t>(sourceX) * pixelBytes,
                  pixelBytes);
    }
  }
  image.Swap(upright);
  return 1;
}

int FlattenOverWhite(RasterImage& image) {
  if (image.BitsPerPixel() != 32) return 1;
  RasterImage flat;
  if (!flat.Create(image.Width(), image.Height(), 24, 0)) return 0;
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    const std::uint8_t* from = image.Row(y);
    std::uint8_t* to = flat.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, from += 4, to += 3) {
      const std::uint8_t alpha = from[0];
      to[0] = OverWhite(alpha, from[1]);
      to[1] = OverWhite(alpha, from[2]);
      to[2] = OverWhite(alpha, from[3]);
    }
  }
  image.Swap(flat);
  return 1;
}

}  // namespace engine
