// Conventions every reader and writer of the engine shares: what a codec
// recognised (SourceVariant) and how it reports progress.
#pragma once

#include <cstdint>

namespace engine {

// What a codec recognised when reading, or is about to write.
enum class SourceVariant : std::int32_t {
  None = 0,
  PhotoCdBase16 = 11,  // 192 x 128
  PhotoCdBase4 = 12,   // 384 x 256
  PhotoCdBase = 13,    // 768 x 512
  JpegColour = 14,
  JpegGrey = 15,
  BmpWindows1 = 16,  // Windows header, uncompressed or bit-field
  BmpWindows4 = 17,
  BmpWindows8 = 18,
  BmpWindows16 = 19,
  BmpWindows24 = 20,
  BmpWindows32 = 21,
  BmpWindowsRle4 = 22,
  BmpWindowsRle8 = 23,
  BmpOs2Core1 = 24,
  BmpOs2Core4 = 25,
  BmpOs2Core8 = 26,
  BmpOs2Core24 = 27,
  PngGrey = 31,  // with or without alpha
  PngRgb = 33,
  PngRgbAlpha = 34,
  PngPalette = 38,
  TiffPalette8 = 39,
  TiffRgb24 = 40,  // also every TIFF read
};

// Most heap memory a library decoder may need for one picture, beyond the
// engine's own mapped image: the decoders of the newer formats hold whole
// planes of their own. A 32-bit process has 2 GiB of address space in all,
// so there it is half of that; a 64-bit process can afford more.
constexpr std::int64_t kMaxDecoderHeapBytes =
    sizeof(void*) == 4 ? std::int64_t{1} << 30 : std::int64_t{8} << 30;

// Optional progress routine: direction (0 writing, 1 reading), percent done,
// the row just finished, and 0.
using ProgressCallback = void (*)(std::int32_t direction, std::int32_t percent, std::int32_t row,
                                  std::int32_t reserved);

constexpr std::int32_t kProgressWriting = 0;
constexpr std::int32_t kProgressReading = 1;

// Integer part of (row + 1) / totalRows x 100, computed exactly.
constexpr std::int32_t ProgressPercent(std::int32_t row, std::int32_t totalRows) {
  return totalRows <= 0
             ? 0
             : static_cast<std::int32_t>((static_cast<std::int64_t>(row) + 1) * 100 / totalRows);
}

// Calls the callback, if any, for the row just finished.
inline void ReportProgress(ProgressCallback callback, std::int32_t direction, std::int32_t row,
                           std::int32_t totalRows) {
  if (callback != nullptr) {
    callback(direction, ProgressPercent(row, totalRows), row, 0);
  }
}

}  // namespace engine
