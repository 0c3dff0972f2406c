// WebP files: a RIFF container of form "WEBP" holding a lossy (VP8) or
// lossless (VP8L) bitstream, optionally with an alpha chunk, or an animation
// of such frames. libwebp decodes from memory, so the file is read whole.
#include "engine/webp_reader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/byte_cursor.h"
#include "engine/mapped_file.h"

namespace engine {

namespace {

// "RIFF", the size of what follows, "WEBP".
constexpr std::size_t kRiffHeaderBytes = 12;
constexpr std::int64_t kRiffSizeOffset = 8;  // the size counts from here

// An animation decoder holds its canvas and the previous one, and decodes a
// frame beside them; a still picture needs at most one ARGB plane (lossless).
constexpr std::int64_t kStillPlanes = 1;
constexpr std::int64_t kAnimationPlanes = 3;
constexpr std::int64_t kPlaneBytesPerPixel = 4;

struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using AnimDecoderHandle = std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter>;

// The size the RIFF header declares for the whole file, or 0 when the file
// is not a RIFF WebP file.
std::int64_t DeclaredFileSize(InputFile& file) {
  std::uint8_t header[kRiffHeaderBytes];
  if (!file.ReadAt(0, header, sizeof header)) return 0;
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WEBP", 4) != 0) return 0;
  std::uint32_t riffSize = 0;
  if (!ByteCursor(header, sizeof header).U32At(4, riffSize)) return 0;
  return kRiffSizeOffset + riffSize;
}

}  // namespace

int WebpReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  InputFile file;
  if (path == nullptr || !file.Open(path)) return 0;
  // Bytes past the declared size are not the picture's; a file shorter than
  // it declares is read as far as it goes and libwebp judges what is there.
  const std::int64_t declared = DeclaredFileSize(file);
  if (declared == 0) return 0;
  const std::int64_t count = std::min(declared, file.Size());
  if (count > kMaxDecoderHeapBytes) return 0;
  bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(count)]);
  byteCount = static_cast<std::size_t>(count);
  WebPBitstreamFeatures features;
  if (!bytes || !file.ReadAt(0, bytes.get(), byteCount) ||
      WebPGetFeatures(bytes.get(), byteCount, &features) != VP8_STATUS_OK) {
    Close();
    return 0;
  }
  width = features.width;
  height = features.height;
  hasAlpha = features.has_alpha != 0;
  animation = features.has_animation != 0;
  callback = progress;
  targetImage = &image;
  return 1;
}

int WebpReader::Read() {
  if (targetImage == nullptr) {
    Close();
    return 0;
  }
  RasterImage& image = *targetImage;
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  const std::int64_t planes = animation ? kAnimationPlanes : kStillPlanes;
  const bool fits = width > 0 && height > 0 &&
                    pixels * planes * kPlaneBytesPerPixel <= kMaxDecoderHeapBytes &&
                    image.Create(width, height, animation || hasAlpha ? 32 : 24, 0);
  const int decoded = fits && (animation ? DecodeFirstFrame(image) : DecodeStill(image));
  if (decoded) ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

// Decodes straight into the image's storage: ARGB matches the 32-bit layout
// byte for byte, RGB the 24-bit one.
int WebpReader::DecodeStill(RasterImage& image) const {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return 0;
  config.options.use_threads = 1;
  WebPRGBABuffer& out = config.output.u.RGBA;
  config.output.colorspace = image.BitsPerPixel() == 32 ? MODE_ARGB : MODE_RGB;
  config.output.is_external_memory = 1;
  out.rgba = image.PixelData();
  out.stride = image.Stride();
  out.size = static_cast<std::size_t>(image.ByteCount());
  const VP8StatusCode status = WebPDecode(bytes.get(), byteCount, &config);
  WebPFreeDecBuffer(&config.output);
  return status == VP8_STATUS_OK;
}

// The animation decoder composes each frame on the canvas (frames may be
// smaller than it and placed anywhere); where the first frame leaves the
// canvas uncovered it stays transparent.
int WebpReader::DecodeFirstFrame(RasterImage& image) const {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return 0;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData data = {bytes.get(), byteCount};
  AnimDecoderHandle decoder(WebPAnimDecoderNew(&data, &options));
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) return 0;
  if (static_cast<std::int32_t>(info.canvas_width) != width ||
      static_cast<std::int32_t>(info.canvas_height) != height) {
    return 0;
  }
  std::uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr) return 0;
  const std::uint8_t* from = canvas;
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* to = image.Row(y);
    for (std::int32_t x = 0; x < width; ++x, from += 4, to += 4) {
      to[0] = from[3];
      to[1] = from[0];
      to[2] = from[1];
      to[3] = from[2];
    }
  }
  return 1;
}

bool IsWebpFile(const char* path) {
  InputFile file;
  return path != nullptr && file.Open(path) && DeclaredFileSize(file) != 0;
}

void WebpReader::Close() {
  callback = nullptr;
  bytes.reset();
  byteCount = 0;
  width = 0;
  height = 0;
  hasAlpha = false;
  animation = false;
  targetImage = nullptr;
}

}  // namespace engine
