// Fuzz target of the orientation parser: the input is taken as a JPEG file's
// bytes and as a TIFF file's bytes, in memory, as the window program hands
// them over. Any answer outside 1..8 is a fault.
#include <cstdint>
#include <cstdlib>

#include "base/exif_orientation.h"

namespace {

// Longer inputs only walk longer chains of segments.
constexpr std::size_t kMaxExifInputBytes = 256 * 1024;

void Check(int orientation) {
  if (orientation < kOrientationUpright || orientation > kOrientationLast) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxExifInputBytes) return 0;
  Check(JpegOrientation(data, size));
  Check(TiffOrientation(data, size));
  return 0;
}
