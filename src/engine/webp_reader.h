// WebpReader: the engine's reader of WebP files (through libwebp): lossy,
// lossless, with or without alpha, and the first frame of an animation.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class WebpReader final : public PictureReader {
 public:
  WebpReader() = default;
  ~WebpReader() override { Close(); }

  // The open step: accepts a RIFF file of form "WEBP" whose bitstream
  // header libwebp reads, after taking the whole file into memory (libwebp
  // decodes from memory). 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: decodes the picture, or the first frame of an animation
  // as it shows on the animation's canvas. Opaque pictures give 24 bits;
  // pictures with alpha, and every animation frame, 32 bits (alpha first,
  // not premultiplied). A picture larger than the engine maps is refused
  // before decoding; damaged or truncated data fails. Reports progress once,
  // at the end, then closes. 1/0.
  int Read() override;

  // Frees the file's bytes and forgets everything.
  void Close() override;

  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  bool HasAlpha() const { return hasAlpha; }
  bool IsAnimation() const { return animation; }

 private:
  int DecodeStill(RasterImage& image) const;
  int DecodeFirstFrame(RasterImage& image) const;

  ProgressCallback callback = nullptr;
  std::unique_ptr<std::uint8_t[]> bytes;  // the whole file
  std::size_t byteCount = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool hasAlpha = false;
  bool animation = false;
  RasterImage* targetImage = nullptr;
};

// True when the file at path starts like a WebP file ("RIFF", size,
// "WEBP"); says nothing of whether the rest decodes.
bool IsWebpFile(const char* path);

}  // namespace engine
