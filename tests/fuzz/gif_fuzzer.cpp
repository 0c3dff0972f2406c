// Fuzz target of the GIF reader. A few bytes may declare a large screen, so
// screens above the decoded-size limit are opened but not decoded (the
// reader's own bound from the file size still applies to what is decoded).
#include "reader_fuzz_target.h"

#include "engine/gif_reader.h"

namespace {

bool ScreenWorthReading(const engine::GifReader& reader) {
  constexpr std::int64_t kArgbBytes = 4;
  return static_cast<std::int64_t>(reader.ScreenWidth()) * reader.ScreenHeight() * kArgbBytes <=
         kMaxDecodedBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::GifReader reader;
  return FuzzReader(reader, {"gif"}, data, size, ScreenWorthReading);
}
