// Fuzz target of the WebP reader. A frame header of a few bytes may declare
// up to 16383 x 16383 pixels, so pictures above the decoded-size limit are
// opened but not decoded (the reader's own bound still applies when they
// are).
#include "reader_fuzz_target.h"

#include "engine/webp_reader.h"

namespace {

bool PictureWorthReading(const engine::WebpReader& reader) {
  constexpr std::int64_t kArgbBytes = 4;
  return static_cast<std::int64_t>(reader.Width()) * reader.Height() * kArgbBytes <=
         kMaxDecodedBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::WebpReader reader;
  return FuzzReader(reader, {"webp"}, data, size, PictureWorthReading);
}
