// The rotation, mirror and crop a HEIF file records for its primary picture
// (the irot, imir and clap properties), read from the boxes directly.
// libheif applies them itself to pictures of 8 bits per sample but refuses
// deeper ones; those are decoded as stored and transformed by the engine.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/byte_cursor.h"
#include "engine/raster_image.h"

namespace engine {

// One transformation, in the order the file lists it for the picture.
struct HeifTransform {
  enum class Kind { Rotate, Mirror, Crop };
  Kind kind = Kind::Rotate;
  int quarterTurnsAnticlockwise = 0;  // Rotate: 0..3
  bool leftToRight = false;           // Mirror: true exchanges left and right
  // Crop: the clean aperture's width, height and centre offsets as
  // fractions (numerator, denominator > 0).
  std::int64_t width[2] = {0, 1};
  std::int64_t height[2] = {0, 1};
  std::int64_t horizontalOffset[2] = {0, 1};
  std::int64_t verticalOffset[2] = {0, 1};
};

// Reads the primary item's transformations from the file's "meta" box.
// True with the list (empty when there are none); false when the boxes it
// walks are damaged (sizes past their parent or the file, a primary item
// or property index that does not exist).
bool ReadPrimaryTransforms(InputFile& file, std::vector<HeifTransform>& transforms);

// Applies the transformations to a picture decoded as stored, in order. 1,
// or 0 when a crop leaves nothing or new storage cannot be made.
int ApplyHeifTransforms(RasterImage& image, const std::vector<HeifTransform>& transforms);

}  // namespace engine
