// HeifReader: the engine's reader of HEIF files (through libheif): HEIC
// pictures (HEVC, decoded by libde265) and AVIF pictures (AV1, decoded by
// dav1d), 8 to 16 bits per sample, single or tiled in a grid, with alpha.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

struct heif_context;
struct heif_image_handle;

namespace engine {

class HeifReader final : public PictureReader {
 public:
  HeifReader();
  ~HeifReader() override;

  // The open step: accepts a file that starts with an "ftyp" box naming a
  // HEIF or AVIF brand and whose boxes libheif reads, with its primary
  // picture found. The file stays open for Read: libheif reads the coded
  // data only when it decodes. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: decodes the primary picture with the rotation, mirror
  // and crop the file records applied, so it comes out upright. Opaque
  // pictures give 24 bits, pictures with alpha 32 (alpha first, not
  // premultiplied); samples over 8 bits are scaled to 8. A picture larger
  // than the engine maps, or whose decoding would need more memory than the
  // engine allows a decoder, is refused before decoding. Damaged data
  // fails. Reports progress once, at the end, then closes. 1/0.
  int Read() override;

  // Releases the library state and the file.
  void Close() override;

  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  bool HasAlpha() const { return hasAlpha; }
  int BitsPerSample() const { return bitsPerSample; }

  // The file the library reads through, with the position it asks for.
  struct Source {
    InputFile file;
    std::int64_t position = 0;
  };

 private:
  struct ContextDeleter {
    void operator()(heif_context* context) const;
  };
  struct HandleDeleter {
    void operator()(heif_image_handle* handle) const;
  };

  int Decode(RasterImage& image);

  ProgressCallback callback = nullptr;
  // The context reads through source until it goes, so it is declared after
  // it (and released first).
  Source source;
  std::unique_ptr<heif_context, ContextDeleter> context;
  std::unique_ptr<heif_image_handle, HandleDeleter> primary;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool hasAlpha = false;
  int bitsPerSample = 8;
  RasterImage* targetImage = nullptr;
};

// True when the file at path starts with an "ftyp" box naming a HEIF or
// AVIF brand; says nothing of whether the rest decodes.
bool IsHeifFile(const char* path);

}  // namespace engine
