#include "engine/engine_commands.h"

#include "engine/jpeg_codec.h"
#include "engine/picture_loader.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"

namespace engine {

namespace {

constexpr std::int32_t kMinQuality = 1;
constexpr std::int32_t kMaxQuality = 100;
constexpr std::int32_t kMinSmoothing = 0;
constexpr std::int32_t kMaxSmoothing = 100;
constexpr std::int32_t kPngCommandBits = 24;
constexpr std::int32_t kTiffPaletteBits = 8;
constexpr std::int32_t kTiffRgbBits = 24;

// Only the exact value 1 switches these options on; 2 or -1 do not.
constexpr bool IsExactlyOne(std::int32_t flag) {
  return flag == 1;
}

bool HasBothPaths(const char* source, const char* destination) {
  return source != nullptr && destination != nullptr;
}

}  // namespace

// Each command: check the arguments before touching any file, load, write.
// The image and the writer are locals, so their backing files and open
// handles are gone on every return path.

int ConvertToJpeg(const char* source, const char* destination, std::int32_t grayscale,
                  std::int32_t quality, std::int32_t optimizeCoding, std::int32_t smoothing) {
  JpegCodec writer;
  RasterImage image;
  if (!HasBothPaths(source, destination) || quality < kMinQuality || quality > kMaxQuality ||
      smoothing < kMinSmoothing || smoothing > kMaxSmoothing) {
    return ResultBadArguments;
  }
  const int loaded = LoadPicture(source, image);
  if (loaded != ResultOk) {
    return loaded;
  }
  const int colour = IsExactlyOne(grayscale) ? 0 : 1;
  if (writer.Write(destination, image, quality, colour, optimizeCoding, smoothing) != 1) {
    return ResultWriteFailed;
  }
  return ResultOk;
}

int ConvertToTiff(const char* source, const char* destination, std::int32_t paletted) {
  TiffCodec writer;
  RasterImage image;
  if (!HasBothPaths(source, destination)) {
    return ResultBadArguments;
  }
  const int loaded = LoadPicture(source, image);
  if (loaded != ResultOk) {
    return loaded;
  }
  const std::int32_t bits = IsExactlyOne(paletted) ? kTiffPaletteBits : kTiffRgbBits;
  if (writer.OpenWrite(destination, &image, bits) != 1 || writer.Write() != 1) {
    return ResultWriteFailed;
  }
  return ResultOk;
}

int ConvertToPng(const char* source, const char* destination, std::int32_t bitDepth) {
  PngCodec writer;
  RasterImage image;
  if (!HasBothPaths(source, destination) || bitDepth != kPngCommandBits) {
    return ResultBadArguments;
  }
  const int loaded = LoadPicture(source, image);
  if (loaded != ResultOk) {
    return loaded;
  }
  if (writer.OpenWrite(destination, image, kPngCommandBits, 0) != 1 || writer.Write() != 1) {
    return ResultWriteFailed;
  }
  return ResultOk;
}

}  // namespace engine

namespace {

// A path argument is the address of a text. The runtime is 32-bit, so the
// address is the low word of the record; in the native 64-bit build the same
// record carries a 64-bit address, so the whole value is taken (on the
// 32-bit build both readings are the same).
const char* PathArgument(int argCount, const ArgRecord* args, int index) {
  return AsText(ArgAt(argCount, args, index));
}

std::int32_t NumberArgument(int argCount, const ArgRecord* args, int index) {
  return AsInt32(ArgAt(argCount, args, index));
}

void StoreResult(ArgRecord* result, int code) {
  if (result != nullptr) {
    *result = MakeInteger(code);
  }
}

}  // namespace

void CmdConvertToJpeg(ArgRecord* result, int argCount, const ArgRecord* args) {
  StoreResult(result, engine::ConvertToJpeg(
                          PathArgument(argCount, args, 0), PathArgument(argCount, args, 1),
                          NumberArgument(argCount, args, 2), NumberArgument(argCount, args, 3),
                          NumberArgument(argCount, args, 4), NumberArgument(argCount, args, 5)));
}

void CmdConvertToTiff(ArgRecord* result, int argCount, const ArgRecord* args) {
  StoreResult(result, engine::ConvertToTiff(PathArgument(argCount, args, 0),
                                            PathArgument(argCount, args, 1),
                                            NumberArgument(argCount, args, 2)));
}

void CmdConvertToPng(ArgRecord* result, int argCount, const ArgRecord* args) {
  StoreResult(result,
              engine::ConvertToPng(PathArgument(argCount, args, 0), PathArgument(argCount, args, 1),
                                   NumberArgument(argCount, args, 2)));
}
