// JpegCodec: the engine's JPEG reader and writer, through libjpeg. The reader
// delivers the rows as stored; the EXIF orientation is applied by the loader
// (picture_orientation.h). CMYK and YCCK files are read as RGB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/codec_conventions.h"
#include "engine/jpeg_library.h"
#include "engine/output_file.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class JpegCodec final : public PictureReader {
 public:
  JpegCodec() = default;
  ~JpegCodec() override { Close(); }

  // The open step: accepts a file that starts with FF D8 and whose header the
  // library reads and starts decompressing, as a three-component colour
  // picture (variant 14, 24 bits), a CMYK or YCCK picture (also variant 14,
  // converted to 24-bit RGB) or a one-component grey picture (variant 15, 8
  // bits). Files whose
  // picture would not fit the engine's storage or needs more decoder memory
  // or scans than the library layer allows. Keeps the file open for Read.
  // 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: (re)creates the image recorded by OpenRead (24 bits, or
  // 8-bit grey) and decodes every row into it (CMYK through a row of its
  // own), reporting progress per row
  // and once more at the end, then closes. 1/0.
  int Read() override;

  // Writes image as a sequential baseline JPEG (JFIF) at path. colour 1
  // writes RGB, anything else grey; images of another layout are converted
  // first. The file appears only when complete: on failure nothing is left
  // at path and an earlier file there stays as it was. 1/0.
  int Write(const char* path, const RasterImage& image, int quality, int colour, int optimizeCoding,
            int smoothing, ProgressCallback callback = nullptr);

  // Destroys the library objects, closes the file, forgets everything.
  void Close() override;

  // What OpenRead recognised (None after Close).
  SourceVariant Variant() const { return variant; }
  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  std::int32_t BitsPerPixel() const { return bitsPerPixel; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  int DecodeRows();
  int EncodeFile(const char* path, const RasterImage& image);

  ProgressCallback callback = nullptr;
  jpeg_library::StdioFile file;
  jpeg_library::Decoder decoder;
  jpeg_library::Encoder encoder;
  OutputFile output;           // the file being written, until it is complete
  RasterImage convertedImage;  // the written image in the layout the encoder takes
  int quality = 0;
  int smoothing = 0;
  bool optimizeCoding = false;
  std::string sourcePath;
  SourceVariant variant = SourceVariant::None;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t bitsPerPixel = 0;
  bool inkComponents = false;              // the decoder delivers CMYK rows
  std::unique_ptr<std::uint8_t[]> inkRow;  // one such row, while reading
  RasterImage* targetImage = nullptr;      // OpenRead's image, filled by Read
  bool readyToRead = false;                // OpenRead succeeded and Read has not run
};

}  // namespace engine
