// Fuzz target of the HEIF reader (HEIC and AVIF). A size property of a few
// bytes may declare a picture far larger than the coded data, so pictures
// above the decoded-size limit are opened but not decoded (the reader's own
// bounds still apply when they are).
#include "reader_fuzz_target.h"

#include "engine/heif_reader.h"

namespace {

bool PictureWorthReading(const engine::HeifReader& reader) {
  const std::int64_t bytesPerPixel =
      (reader.HasAlpha() ? 4 : 3) * (reader.BitsPerSample() > 8 ? 2 : 1);
  return static_cast<std::int64_t>(reader.Width()) * reader.Height() * bytesPerPixel <=
         kMaxDecodedBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::HeifReader reader;
  return FuzzReader(reader, {"heif"}, data, size, PictureWorthReading);
}
