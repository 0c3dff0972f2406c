// Fuzz target of the Softimage PIC reader. A long run takes four bytes for up
// to 65535 pixels, so large pictures are opened but not decoded.
#include "reader_fuzz_target.h"

#include "engine/softimage_pic_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::SoftimagePicReader reader;
  return FuzzReader(reader, {"softimage_pic"}, data, size,
                    DecodedSizeWorthReading<engine::SoftimagePicReader>);
}
