// JPEG (ITU-T T.81 with the JFIF file header) reading and writing; the layout
// itself is libjpeg's business, this file holds the engine's rules around it.
#include "engine/jpeg_codec.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/mapped_file.h"

namespace engine {

namespace {

constexpr std::int32_t kColourComponents = 3;
constexpr std::int32_t kGreyComponents = 1;
constexpr std::int32_t kInkComponents = 4;  // CMYK, also what YCCK decodes to

bool StartsWithJpegSignature(std::FILE* file) {
  unsigned char signature[2];
  return std::fread(signature, 1, sizeof signature, file) == sizeof signature &&
         signature[0] == 0xFF && signature[1] == 0xD8;
}

// Colour or grey pictures whose storage the engine can hold. Checked before
// decompression starts, so a hostile header never makes the library (or the
// image) allocate for a picture that would be refused anyway.
bool IsReadableShape(const jpeg_library::OutputShape& shape) {
  if (shape.width < 1 || shape.height < 1) {
    return false;
  }
  if (shape.components != kColourComponents && shape.components != kGreyComponents &&
      shape.components != kInkComponents) {
    return false;
  }
  const std::int32_t pictureComponents =
      shape.components == kGreyComponents ? kGreyComponents : kColourComponents;
  const std::int64_t bytes =
      static_cast<std::int64_t>(shape.width) * shape.height * pictureComponents;
  return bytes <= kMaxMappedBytes;
}

// CMYK rows to RGB as ImageMagick and Photoshop read them: the samples are
// stored inverted (Adobe's convention, 255 = no ink), so each colour is its
// inverted ink times the inverted black, red = C x K / 255, rounded.
void InkRowToRgb(const std::uint8_t* ink, std::uint8_t* rgb, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x, ink += 4, rgb += 3) {
    const unsigned black = ink[3];
    rgb[0] = static_cast<std::uint8_t>((ink[0] * black + 127) / 255);
    rgb[1] = static_cast<std::uint8_t>((ink[1] * black + 127) / 255);
    rgb[2] = static_cast<std::uint8_t>((ink[2] * black + 127) / 255);
  }
}

}  // namespace

int JpegCodec::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path, "rb")) {
    return 0;
  }
  if (!StartsWithJpegSignature(file.Get()) || std::fseek(file.Get(), 0, SEEK_SET) != 0) {
    Close();
    return 0;
  }
  jpeg_library::OutputShape shape;
  if (!decoder.ReadHeader(file.Get(), shape) || !IsReadableShape(shape) || !decoder.Start()) {
    Close();
    return 0;
  }
  const bool colour = shape.components != kGreyComponents;
  inkComponents = shape.components == kInkComponents;
  variant = colour ? SourceVariant::JpegColour : SourceVariant::JpegGrey;
  bitsPerPixel = colour ? 24 : 8;
  width = shape.width;
  height = shape.height;
  sourcePath = path;
  callback = progress;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

int JpegCodec::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  // The decompressor is destroyed unfinished: trailing data stays unread.
  Close();
  return decoded;
}

int JpegCodec::DecodeRows() {
  if (!targetImage->Create(width, height, bitsPerPixel, 0)) {
    return 0;
  }
  if (inkComponents) {
    inkRow.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width) * kInkComponents]);
    if (!inkRow) return 0;
  }
  while (decoder.NextRow() < height) {
    const std::int32_t row = decoder.NextRow();
    if (!decoder.ReadRow(inkComponents ? inkRow.get() : targetImage->Row(row))) {
      return 0;
    }
    if (inkComponents) InkRowToRgb(inkRow.get(), targetImage->Row(row), width);
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

int JpegCodec::Write(const char* path, const RasterImage& image, int newQuality, int colour,
                     int newOptimizeCoding, int newSmoothing, ProgressCallback progress) {
  Close();
  callback = progress;
  quality = newQuality;
  optimizeCoding = newOptimizeCoding != 0;
  // libjpeg's smoothing weights only make sense for 0..100.
  smoothing = std::clamp(newSmoothing, 0, 100);
  const bool writeColour = colour == 1;
  variant = writeColour ? SourceVariant::JpegColour : SourceVariant::JpegGrey;
  bitsPerPixel = writeColour ? 24 : 8;
  width = image.Width();
  height = image.Height();
  const int written = EncodeFile(path, image);
  convertedImage.Release();
  ReportProgress(callback, kProgressWriting, height - 1, height);
  Close();
  return written;
}

int JpegCodec::EncodeFile(const char* path, const RasterImage& image) {
  if (path == nullptr || image.IsEmpty() || width < 1 || height < 1) {
    return 0;
  }
  // The encoder takes 24-bit RGB rows or 8-bit grey rows; anything else is
  // converted first (grey: the weighted sum of the colour; paletted: the
  // colours of the palette, not the indices).
  const RasterImage* rows = &image;
  const bool needsConversion = variant == SourceVariant::JpegColour
                                   ? image.BitsPerPixel() != 24
                                   : (image.BitsPerPixel() != 8 || image.PaletteSize() != 0);
  if (needsConversion) {
    if (!image.ConvertTo(convertedImage, bitsPerPixel, 0)) {
      return 0;
    }
    rows = &convertedImage;
  }

  if (!output.Begin(path) || !file.Open(output.TempPath().c_str(), "wb")) {
    return 0;
  }
  jpeg_library::EncoderSettings settings;
  settings.width = width;
  settings.height = height;
  settings.components = variant == SourceVariant::JpegColour ? kColourComponents : kGreyComponents;
  settings.quality = quality;
  settings.optimizeCoding = optimizeCoding;
  settings.smoothing = smoothing;
  if (!encoder.Start(file.Get(), settings)) {
    return 0;
  }
  while (encoder.NextRow() < height) {
    const std::int32_t row = encoder.NextRow();
    if (!encoder.WriteRow(rows->Row(row))) {
      return 0;
    }
    ReportProgress(callback, kProgressWriting, row, height);
  }
  if (!encoder.Finish()) {
    return 0;
  }
  encoder.Destroy();
  // The file must be closed (and its last bytes written) before it moves.
  if (!file.Close()) {
    return 0;
  }
  return output.Commit();
}

void JpegCodec::Close() {
  // Library objects first (they point at the file), then the file, then the
  // unfinished output it was writing (a file still open cannot be removed on
  // Windows).
  decoder.Destroy();
  encoder.Destroy();
  file.Close();
  output.Discard();
  convertedImage.Release();
  callback = nullptr;
  quality = 0;
  smoothing = 0;
  optimizeCoding = false;
  sourcePath.clear();
  variant = SourceVariant::None;
  width = 0;
  height = 0;
  bitsPerPixel = 0;
  inkComponents = false;
  inkRow.reset();
  targetImage = nullptr;
  readyToRead = false;
}

}  // namespace engine
