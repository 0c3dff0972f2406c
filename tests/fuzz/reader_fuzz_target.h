// The one fuzz target of every reader: the input becomes a file, which the
// reader opens and reads exactly as the loader would (open step, read step,
// close). Each <name>_fuzzer.cpp only names its reader and its limits.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "fuzz_input_file.h"

#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

// Inputs beyond this are not tried: larger files only take longer.
constexpr std::size_t kDefaultMaxInputBytes = 1 << 20;

// What a reader's fuzz target may set; the defaults suit a reader whose
// decoding is bounded by the input size.
struct ReaderFuzzLimits {
  // Tag of the temporary file's name.
  const char* tag = "";
  std::size_t maxInputBytes = kDefaultMaxInputBytes;
  // Longer inputs are cut to maxInputBytes rather than skipped.
  bool cutLongerInputs = false;
  // Length the file is padded to with zeros when the input is shorter.
  std::size_t paddedLength = 0;
  // Given to the open step.
  engine::ProgressCallback progress = nullptr;
};

// Takes one input through reader. worthDecoding, asked after an accepted open
// step, keeps the read step from pictures that would only take long to pad;
// the reader is then just closed.
template <typename Reader, typename WorthDecoding>
int FuzzReader(Reader& reader, const ReaderFuzzLimits& limits, const std::uint8_t* data,
               std::size_t size, WorthDecoding worthDecoding) {
  if (size > limits.maxInputBytes) {
    if (!limits.cutLongerInputs) return 0;
    size = limits.maxInputBytes;
  }
  const FuzzInputFile input(data, size, limits.tag, limits.paddedLength);
  const char* path = input.Path();
  if (path == nullptr) return 0;
  engine::RasterImage image;
  engine::PictureReader& asLoaderSeesIt = reader;
  if (asLoaderSeesIt.OpenRead(path, image, limits.progress) == 1 && worthDecoding(reader)) {
    asLoaderSeesIt.Read();
  }
  asLoaderSeesIt.Close();
  return 0;
}

template <typename Reader>
int FuzzReader(Reader& reader, const ReaderFuzzLimits& limits, const std::uint8_t* data,
               std::size_t size) {
  return FuzzReader(reader, limits, data, size, [](const Reader&) { return true; });
}

// Pictures above this many decoded bytes are opened but not decoded: decoding
// a few bytes of data into a huge picture only pads it (cheaply, but for
// long), and the size limits themselves are already checked by opening.
constexpr std::int64_t kMaxDecodedBytes = 16 << 20;

template <typename Reader>
bool DecodedSizeWorthReading(const Reader& reader) {
  // Pictures of fewer than 8 bits per pixel still decode to a byte a pixel.
  const std::int64_t bytes = static_cast<std::int64_t>(reader.Width()) * reader.Height() *
                             ((reader.BitsPerPixel() + 7) / 8);
  return bytes <= kMaxDecodedBytes;
}
