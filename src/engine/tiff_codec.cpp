// TIFF reader and writer (Tag Image File Format, revision 6.0). Reading goes
// through libtiff's RGBA image interface, so every photometric
// interpretation (CMYK included), bit depth, organisation and compression it
// decodes is accepted; writing produces an uncompressed little-endian file.
#include "engine/tiff_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr std::int32_t kReadBits = 32;
constexpr std::uint64_t kRgbaBytes = 4;
// libtiff may pack a row into a little more than the image's own stride.
constexpr std::uint64_t kScanlineSlack = 4;

// "l" asks for little-endian byte order. Without "H" or "L" the fill order
// stays the standard most-significant-bit first: "H" would take the host's
// order, which on x86 makes libtiff write every sample bit-reversed with no
// FillOrder field to say so.
constexpr char kWriteMode[] = "wl";
constexpr char kReadMode[] = "r";

// A colour stored multiplied by alpha, divided back with rounding. Nothing
// of the colour survives where alpha is 0, and a damaged file may hold a
// colour above its alpha.
std::uint8_t Unpremultiply(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  const unsigned value = (colour * 255u + alpha / 2u) / alpha;
  return static_cast<std::uint8_t>(std::min(value, 255u));
}

}  // namespace

int TiffCodec::OpenRead(const char* newPath, RasterImage& image, ProgressCallback newCallback) {
  Close();
  if (newPath == nullptr) return 0;
  TiffFile opened = TiffFile::Open(newPath, kReadMode);
  if (!opened.IsOpen()) return 0;
  std::uint32_t declaredWidth = 0;
  std::uint32_t declaredHeight = 0;
  if (!ReadImageSize(opened.Get(), declaredWidth, declaredHeight) || declaredWidth < 1 ||
      declaredHeight < 1) {
    return 0;
  }
  file = std::move(opened);
  reading = true;
  path = newPath;
  bitsPerPixel = kReadBits;
  variant = SourceVariant::TiffRgb24;
  width = declaredWidth;
  height = declaredHeight;
  target = &image;
  callback = newCallback;
  return 1;
}

int TiffCodec::Read() {
  if (!reading || !file.IsOpen() || target == nullptr) {
    Close();
    return 0;
  }
  const int result = DecodeInto(*target);
  ReportProgress(callback, kProgressReading, ProgressRows() - 1, ProgressRows());
  Close();
  return result;
}

int TiffCodec::DecodeInto(RasterImage& image) {
  // Refuse what cannot be mapped before creating anything; this also keeps
  // width, height and every row offset below 2^31.
  const std::uint64_t pixelCount = static_cast<std::uint64_t>(width) * height;
  if (pixelCount > static_cast<std::uint64_t>(kMaxMappedBytes) / kRgbaBytes) return 0;
  const auto rows = static_cast<std::int32_t>(height);
  const auto columns = static_cast<std::int32_t>(width);

  MappedBuffer rgba;
  if (!rgba.Create(static_cast<std::int64_t>(pixelCount * kRgbaBytes), kTempFilePrefix)) return 0;
  // The view starts on a page boundary, so it is aligned for 32-bit pixels.
  const auto* raster = reinterpret_cast<const std::uint32_t*>(rgba.Data());
  TiffAlpha alpha = TiffAlpha::None;
  if (!ReadRgbaImage(file.Get(), width, height, reinterpret_cast<std::uint32_t*>(rgba.Data()),
                     alpha)) {
    rgba.Release(true);
    return 0;
  }

  const std::int32_t bits = alpha == TiffAlpha::None ? 24 : 32;
  const bool reusable = image.Width() == columns && image.Height() == rows &&
                        image.BitsPerPixel() == bits && image.PaletteSize() == 0;
  if (!reusable && !image.Create(columns, rows, bits, 0)) {
    rgba.Release(true);
    return 0;
  }

  // The rows come as stored; the loader turns them upright.
  for (std::int32_t row = 0; row < rows; ++row) {
    const std::uint32_t* from = raster + static_cast<std::size_t>(row) * columns;
    std::uint8_t* to = image.Row(row);
    if (bits == 24) {
      for (std::int32_t column = 0; column < columns; ++column, to += 3) {
        const std::uint32_t pixel = from[column];
        to[0] = RedOf(pixel);
        to[1] = GreenOf(pixel);
        to[2] = BlueOf(pixel);
      }
    } else {
      const bool premultiplied = alpha == TiffAlpha::Associated;
      for (std::int32_t column = 0; column < columns; ++column, to += 4) {
        const std::uint32_t pixel = from[column];
        const std::uint8_t pixelAlpha = AlphaOf(pixel);
        to[0] = pixelAlpha;
        to[1] = premultiplied ? Unpremultiply(RedOf(pixel), pixelAlpha) : RedOf(pixel);
        to[2] = premultiplied ? Unpremultiply(GreenOf(pixel), pixelAlpha) : GreenOf(pixel);
        to[3] = premultiplied ? Unpremultiply(BlueOf(pixel), pixelAlpha) : BlueOf(pixel);
      }
    }
    ReportProgress(callback, kProgressReading, row, rows);
  }
  rgba.Release(true);
  return 1;
}

int TiffCodec::OpenWrite(const char* newPath, const RasterImage* image, std::int32_t bits,
                         ProgressCallback newCallback) {
  Close();
  if (bits != 8 && bits != 24) return 0;
  if (newPath == nullptr || image == nullptr || image->Width() < 1 || image->Height() < 1) return 0;
  if (!output.Begin(newPath)) return 0;
  file = TiffFile::Open(output.TempPath().c_str(), kWriteMode);
  if (!file.IsOpen()) {
    Close();
    return 0;
  }
  writing = true;
  path = newPath;
  bitsPerPixel = bits;
  variant = bits == 8 ? SourceVariant::TiffPalette8 : SourceVariant::TiffRgb24;
  width = static_cast<std::uint32_t>(image->Width());
  height = static_cast<std::uint32_t>(image->Height());
  source = image;
  callback = newCallback;
  return 1;
}

int TiffCodec::Write() {
  if (!writing || !file.IsOpen() || source == nullptr) {
    Close();
    return 0;
  }
  int result = EncodeFrom(*source);
  ReportProgress(callback, kProgressWriting, ProgressRows() - 1, ProgressRows());
  if (result) {
    result = FinishFile(file.Get());
    // The file must be closed before it can be moved into place.
    file.Close();
    if (result) result = output.Commit();
  }
  Close();
  return result;
}

int TiffCodec::EncodeFrom(const RasterImage& image) {
  const std::int32_t columns = image.Width();
  const std::int32_t rows = image.Height();
  if (columns < 1 || rows < 1) return 0;
  width = static_cast<std::uint32_t>(columns);
  height = static_cast<std::uint32_t>(rows);

  // 24 bits are written as RGB; 8 bits as grey levels behind a grey-ramp
  // palette, so a colour or paletted picture becomes grey first.
  RasterImage converted;
  const RasterImage* pixels = &image;
  TiffOutputLayout layout;
  if (bitsPerPixel == 24) {
    layout = TiffOutputLayout::Rgb24;
    if (image.BitsPerPixel() != 24) {
      if (!image.ConvertTo(converted, 24, 0)) return 0;
      pixels = &converted;
    }
  } else {
    layout = TiffOutputLayout::GreyPalette8;
    if (image.BitsPerPixel() != 8 || image.PaletteSize() != 0) {
      if (!image.ConvertTo(converted, 8, 0)) return 0;
      pixels = &converted;
    }
  }
  if (!SetOutputFields(file.Get(), width, height, layout)) return 0;

  const auto stride = static_cast<std::uint64_t>(pixels->Stride());
  const std::uint64_t bufferBytes = std::max(ScanlineSize(file.Get()), stride) + kScanlineSlack;
  if (bufferBytes > std::numeric_limits<std::size_t>::max()) return 0;
  std::unique_ptr<std::uint8_t[]> scanline(
      new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bufferBytes)]());
  if (!scanline) return 0;

  for (std::int32_t row = 0; row < rows; ++row) {
    std::memcpy(scanline.get(), pixels->Row(row), static_cast<std::size_t>(stride));
    if (!WriteRow(file.Get(), scanline.get(), static_cast<std::uint32_t>(row))) return 0;
    ReportProgress(callback, kProgressWriting, row, rows);
  }
  return 1;
}

void TiffCodec::Close() {
  // The handle goes first: an unfinished output file can only be removed
  // once libtiff no longer holds it open.
  file.Close();
  output.Discard();
  callback = nullptr;
  reading = false;
  writing = false;
  path.clear();
  bitsPerPixel = 0;
  variant = SourceVariant::None;
  width = 0;
  height = 0;
  target = nullptr;
  source = nullptr;
}

std::int32_t TiffCodec::ProgressRows() const {
  return static_cast<std::int32_t>(
      std::min<std::uint32_t>(height, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace engine
