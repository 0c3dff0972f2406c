// What the loader does to every picture a reader produced before anyone
// sees it: an alpha channel is flattened over white, and the orientation the
// file records is applied, so every picture stands upright and is opaque.
#pragma once

#include <cstdint>

#include "base/over_white.h"
#include "engine/raster_image.h"

namespace engine {

// Turns or mirrors image so that a picture stored with the given EXIF/TIFF
// orientation (exif_orientation.h) stands upright: 1 leaves it alone, 2
// mirrors left to right, 3 turns it half way, 4 mirrors top to bottom, 5
// transposes, 6 turns it a quarter clockwise, 7 transverses, 8 turns it a
// quarter anticlockwise. 5 to 8 exchange width and height. Every layout is
// kept as it is (an 8-bit picture keeps its palette); the turned picture is
// made in new mapped storage, which then replaces the old. Values outside
// 1..8 count as 1. 1, or 0 (image unchanged) when the new storage cannot be
// made.
int ApplyOrientation(RasterImage& image, int orientation);

// Replaces a 32-bit image (alpha, red, green, blue; alpha not premultiplied)
// by the 24-bit picture it shows over white: each channel becomes
// OverWhite (base/over_white.h). Other layouts stay as they are. 1,
// or 0 (image unchanged) when the new storage cannot be made.
int FlattenOverWhite(RasterImage& image);

}  // namespace engine
