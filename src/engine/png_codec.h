// PNG reader and writer of the engine (through libpng).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/codec_conventions.h"
#include "engine/output_file.h"
#include "engine/picture_reader.h"
#include "engine/png_library.h"
#include "engine/raster_image.h"

namespace engine {

// Reads PNG files of every colour type and bit depth into a RasterImage and
// writes a RasterImage as an Adam7-interlaced PNG holding only IHDR, (PLTE,)
// IDAT and IEND. Every entry point reports 1 or 0; Read and Write end with
// Close on every path, so the file and the library state never outlive an
// operation.
//
// Reading gives, by colour type (16-bit samples rounded to 8 bits,
// (v x 255 + 32767) / 65535):
//   grey (1, 2, 4, 8, 16 bits)         8-bit grey
//   palette (1, 2, 4, 8 bits)          8-bit indices + palette
//   RGB (8, 16 bits)                   24 bits
//   any of these with a tRNS chunk,    32 bits, alpha first, not premultiplied
//   grey with alpha, RGB with alpha    (the loader flattens them over white)
class PngCodec final : public PictureReader {
 public:
  PngCodec() = default;
  ~PngCodec() override { Close(); }

  // The probe step: 1 when the file is a PNG whose header the library reads;
  // the file stays open for Read.
  // On 0 everything is released again.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;
  // Decodes the picture opened by OpenRead into its image, (re)creating the
  // image with the recorded layout. Closes in every case.
  int Read() override;

  // Prepares writing image to path with bits 8 (paletteSize 1..256), 24 or
  // 32. The file appears at path only once Write has completed it.
  int OpenWrite(const char* path, const RasterImage& image, std::int32_t bits,
                std::int32_t paletteSize, ProgressCallback callback = nullptr);
  // Writes the picture, converting a copy when the image's layout differs
  // from the one asked for; the image itself is never changed. Closes in
  // every case.
  int Write();

  // Destroys the library state, closes the file (a write not completed
  // leaves nothing behind) and resets every field.
  void Close() override;

  bool IsOpen() const { return file != nullptr; }
  SourceVariant Variant() const { return variant; }
  std::int32_t Width() const { return pictureWidth; }
  std::int32_t Height() const { return pictureHeight; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  std::int32_t PaletteSize() const { return paletteSize; }
  const std::string& Path() const { return path; }

 private:
  struct FileCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
  };
  using StdioFile = std::unique_ptr<std::FILE, FileCloser>;

  int FailRead();
  int FailWrite(RasterImage& converted);

  ProgressCallback callback = nullptr;
  StdioFile file;
  bool reading = false;
  bool writing = false;
  png_library::PngHeader header;
  std::int64_t fileSize = -1;  // -1 when unknown
  png_library::ReadStateHandle readState;
  png_library::WriteStateHandle writeState;
  OutputFile output;
  std::string path;
  std::int32_t bitsPerPixel = 0;
  SourceVariant variant = SourceVariant::None;
  std::int32_t paletteSize = 0;
  std::int32_t pictureWidth = 0;
  std::int32_t pictureHeight = 0;
  RasterImage* targetImage = nullptr;
  const RasterImage* sourceImage = nullptr;
};

// Whether path is a PNG file whose alpha (and colour) samples have 16 bits:
// colour type 4 or 6 at bit depth 16, judged by its signature and header
// alone. The imaging service cuts such samples to 8 bits where this reader
// rounds, so folder runs leave these files to the engine.
bool IsPngWithSixteenBitAlpha(const char* path);

}  // namespace engine
