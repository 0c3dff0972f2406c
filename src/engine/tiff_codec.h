// TiffCodec: the engine's TIFF reader (every layout libtiff's RGBA interface
// decodes, with every codec the library is built with) and writer (uncompressed,
// little-endian, 24-bit RGB or 8-bit grey palette). The reader delivers the
// rows as the file stores them; the file's Orientation field is applied by the
// loader (picture_orientation.h).
#pragma once

#include <cstdint>
#include <string>

#include "engine/codec_conventions.h"
#include "engine/output_file.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"
#include "engine/tiff_library.h"

namespace engine {

class TiffCodec final : public PictureReader {
 public:
  TiffCodec() = default;
  ~TiffCodec() override { Close(); }

  // The probe step: 1 when libtiff opens path and its first directory has a
  // width and height of at least 1. Records 32 bits, SourceVariant TiffRgb24,
  // the path, the target image and the callback, and keeps
  // the file open. On 0 nothing stays open.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // Decodes the first directory into the target image in the order the file
  // stores its rows and columns (the Orientation field is not applied),
  // reporting progress per row and once more at the end,
  // then closes. A picture with an alpha sample becomes 32 bits with
  // un-premultiplied colours (associated alpha is divided out), any other
  // 24 bits. 1, or 0 (the image's content is then unspecified). Pictures
  // whose decoding buffer of width x height x 4 bytes cannot be mapped are
  // refused before anything is allocated.
  int Read() override;

  // Prepares writing image to path: bits 8 (grey palette, SourceVariant
  // TiffPalette8) or 24 (RGB, TiffRgb24); the image needs a width and height
  // of at least 1. The file is written under a temporary name in the same
  // folder, so nothing appears at path until Write completes. 1 or 0.
  int OpenWrite(const char* path, const RasterImage* image, std::int32_t bits,
                ProgressCallback callback = nullptr);

  // Writes the picture given to OpenWrite, reporting progress per row and once
  // more at the end, closes, and moves the complete file into place
  // (replacing an earlier file). 1, or 0 with no file left and an earlier
  // file of that name untouched.
  int Write();

  // Closes the TIFF handle, drops an unfinished output file and resets all fields.
  void Close() override;

  bool IsReading() const { return reading; }
  bool IsWriting() const { return writing; }
  const std::string& Path() const { return path; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  SourceVariant Variant() const { return variant; }
  // As declared by the file being read, or of the image being written.
  std::uint32_t Width() const { return width; }
  std::uint32_t Height() const { return height; }

 private:
  int DecodeInto(RasterImage& image);
  int EncodeFrom(const RasterImage& image);
  // Rows as the progress reports count them.
  std::int32_t ProgressRows() const;

  ProgressCallback callback = nullptr;
  TiffFile file;
  OutputFile output;  // the temporary file being written, until committed
  bool reading = false;
  bool writing = false;
  std::string path;
  std::int32_t bitsPerPixel = 0;
  SourceVariant variant = SourceVariant::None;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  RasterImage* target = nullptr;
  const RasterImage* source = nullptr;
};

}  // namespace engine
