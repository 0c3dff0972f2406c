// Kodak PhotoCD image packs (.pcd): a "PCD_IPI" header sector followed by
// the Base/16, Base/4 and Base images stored uncompressed as luminance rows
// and subsampled chrominance, in the layout Kodak's image pack uses.
#include "engine/photocd_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr char kSignature[] = "PCD_IPI";
constexpr std::size_t kSignatureBytes = sizeof kSignature - 1;
constexpr std::int32_t kBits = 24;

struct Resolution {
  std::int32_t width;
  std::int32_t height;
  SourceVariant variant;
  std::int64_t dataOffset;
};

constexpr Resolution kResolutions[] = {
    {192, 128, SourceVariant::PhotoCdBase16, 0x2000},
    {384, 256, SourceVariant::PhotoCdBase4, 0xB800},
    {768, 512, SourceVariant::PhotoCdBase, 0x30000},
};
static_assert(0x30000 + 768 * 512 * 3 / 2 == kPhotoCdMinimumFileBytes,
              "the minimum size is where the base image ends");

// The image pack's luminance and chrominance (PhotoYCC, with the chroma
// centred on 156 and 137) to RGB. Computed in double precision; the exact
// values never come nearer than 6.4e-6 to a rounding boundary, so any
// floating-point evaluation rounds them alike.
std::uint8_t RoundToByte(double value) {
  const double rounded = std::floor(value + 0.5);
  return static_cast<std::uint8_t>(std::clamp(rounded, 0.0, 255.0));
}

void ConvertPixel(int luma, int chroma1, int chroma2, std::uint8_t* rgb) {
  const double y = 1.407488 * luma;
  const double c1 = chroma1 - 156;
  const double c2 = chroma2 - 137;
  rgb[0] = RoundToByte(y + 1.3230336 * c2 + 0.0000256 * c1);
  rgb[1] = RoundToByte(y - (0.67392 * c2 + 0.3954176 * c1));
  rgb[2] = RoundToByte(y + 0.0000256 * c2 + 2.0360448 * c1);
}

void ConvertRow(const std::uint8_t* luma, const std::uint8_t* chroma, std::int32_t width,
                std::uint8_t* to) {
  const std::uint8_t* chroma1 = chroma;
  const std::uint8_t* chroma2 = chroma + width / 2;
  for (std::int32_t x = 0; x < width; ++x, to += 3) {
    ConvertPixel(luma[x], chroma1[x / 2], chroma2[x / 2], to);
  }
}

}  // namespace

int PhotoCdReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || file.Size() < kPhotoCdMinimumFileBytes) {
    Close();
    return 0;
  }
  // Only a real image pack is read: without the signature any large file
  // would "decode" into a picture of noise.
  char signature[kSignatureBytes];
  if (!file.ReadAt(kPhotoCdSignatureOffset, signature, kSignatureBytes) ||
      std::memcmp(signature, kSignature, kSignatureBytes) != 0) {
    Close();
    return 0;
  }
  if (resolution < kPhotoCdBase16Resolution || resolution > kPhotoCdBaseResolution) {
    Close();
    return 0;
  }
  const Resolution& chosen = kResolutions[resolution];
  width = chosen.width;
  height = chosen.height;
  variant = chosen.variant;
  dataOffset = chosen.dataOffset;
  bitsPerPixel = kBits;
  callback = progress;
  sourcePath = path;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

int PhotoCdReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int converted = ConvertRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return converted;
}

int PhotoCdReader::ConvertRows() {
  RasterImage& image = *targetImage;
  if (!image.Create(width, height, kBits, 0)) return 0;
  MappedBuffer upperLuma;
  MappedBuffer lowerLuma;
  MappedBuffer chroma;
  if (!upperLuma.Create(width, kTempFilePrefix) || !lowerLuma.Create(width, kTempFilePrefix) ||
      !chroma.Create(width, kTempFilePrefix)) {
    return 0;
  }
  // Each pair of rows: the upper row's luminance, the lower row's, then
  // width / 2 samples of C1 and width / 2 of C2 shared by both rows.
  const auto rowBytes = static_cast<std::size_t>(width);
  std::int64_t offset = dataOffset;
  for (std::int32_t y = 0; y + 1 < height; y += 2) {
    if (!file.ReadAt(offset, upperLuma.Data(), rowBytes) ||
        !file.ReadAt(offset + width, lowerLuma.Data(), rowBytes) ||
        !file.ReadAt(offset + 2 * width, chroma.Data(), rowBytes)) {
      return 0;
    }
    offset += 3 * static_cast<std::int64_t>(width);
    ConvertRow(upperLuma.Data(), chroma.Data(), width, image.Row(y));
    ConvertRow(lowerLuma.Data(), chroma.Data(), width, image.Row(y + 1));
    ReportProgress(callback, kProgressReading, y, height);
  }
  return 1;
}

void PhotoCdReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  sourcePath.clear();
  bitsPerPixel = 0;
  variant = SourceVariant::None;
  width = 0;
  height = 0;
  dataOffset = 0;
  targetImage = nullptr;
}

}  // namespace engine
