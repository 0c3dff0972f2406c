// GifReader: the engine's reader of GIF files (GIF87a and GIF89a): the first
// image of the file, placed on the logical screen.
#pragma once

#include <cstdint>
#include <string>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/gif_library.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class GifReader final : public PictureReader {
 public:
  GifReader() = default;
  ~GifReader() override { Close(); }

  // The open step: accepts a file whose signature, logical screen
  // descriptor and global colour table (when it has one) giflib reads.
  // Keeps the file open for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: decodes the first image only, interlaced or not, with its
  // local colour table or else the global one. The picture is the logical
  // screen, grown where the image reaches past it. When the image covers it
  // all and has no transparent colour the result has 8 bits and a
  // 256-entry palette (the colour table, black past its end); otherwise 32
  // bits, with the transparent colour and the screen the image leaves
  // uncovered fully transparent (alpha 0, black), every other pixel opaque.
  // Refused before anything is allocated: an image of no pixels or without
  // any colour table, and a picture the engine cannot map or that the file
  // is too short to describe even at LZW's best compression. Damaged or
  // early-ending image data fails. Reports progress per decoded line and once
  // more at the end, then closes. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  // The logical screen as the file declares it.
  std::int32_t ScreenWidth() const { return screenWidth; }
  std::int32_t ScreenHeight() const { return screenHeight; }
  const std::string& SourcePath() const { return sourcePath; }

 private:
  int Decode(RasterImage& image);

  ProgressCallback callback = nullptr;
  InputFile file;
  GifDecoder decoder;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::string sourcePath;
  std::int32_t screenWidth = 0;
  std::int32_t screenHeight = 0;
  std::int32_t pictureHeight = 0;  // rows the progress reports count
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
