// SoftimagePicReader: no Debian tool writes Softimage PIC files, so the
// tests encode them (made_picture_files.h) in every packet layout: each
// encoding, alpha or none, channels in one packet or several. Every file
// decodes to the pixels it was made from; natively the layouts that
// OpenImageIO's oiiotool decodes correctly (it mishandles uncompressed
// packets and pure run-length packets of several channels) are compared with
// its decoding too. Damaged headers, packet chains and rows are refused or
// fail to read, and the loader answers "not readable" for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/picture_loader.h"
#include "engine/raster_image.h"
#include "engine/result_codes.h"
#include "engine/softimage_pic_reader.h"
#include "made_picture_files.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::RasterImage;
using engine::SoftimagePicReader;

constexpr std::uint8_t kColour = kPicRed | kPicGreen | kPicBlue;

// 300 pixels a row: flat stretches longer than the longest pure run (255)
// and short mixed run (128), noise for literals, an alpha ramp.
PicPicture MadePicture(int width = 300, int height = 7) {
  PicPicture picture{width, height, {}};
  std::uint32_t noise = 99;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      std::uint8_t red = 40, green = static_cast<std::uint8_t>(y * 30), blue = 200;
      if (x >= 260 && x < 280) {
        red = static_cast<std::uint8_t>(noise >> 16);
        green = static_cast<std::uint8_t>(noise >> 24);
      } else if (x >= 280) {
        blue = static_cast<std::uint8_t>(x / 2);
      }
      const auto alpha = static_cast<std::uint8_t>(x < 270 ? 255 : (x - 270) * 8);
      picture.rgba.insert(picture.rgba.end(), {red, green, blue, alpha});
    }
  }
  return picture;
}

// The image as red, green, blue, alpha (255 where it has none).
Bytes Rgba(const RasterImage& image) {
  Bytes rgba;
  const Bytes pixels = ImageBytes(image);
  for (std::size_t i = 0; i < pixels.size(); i += image.BytesPerPixel()) {
    if (image.BitsPerPixel() == 24) {
      rgba.insert(rgba.end(), {pixels[i], pixels[i + 1], pixels[i + 2], 255});
    } else {
      rgba.insert(rgba.end(), {pixels[i + 1], pixels[i + 2], pixels[i + 3], pixels[i]});
    }
  }
  return rgba;
}

Bytes Opaque(Bytes rgba) {
  for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  return rgba;
}

class SoftimagePicReaderTest : public ReaderTestOf<SoftimagePicReader> {};

TEST_F(SoftimagePicReaderTest, EveryPacketLayoutDecodesToThePixelsItWasMadeFrom) {
  struct Layout {
    const char* what;
    std::vector<PicPacket> packets;
    bool oiioDecodes;
  };
  const Layout layouts[] = {
      {"mixed colour", {{kPicMixedRunLength, kColour}}, true},
      {"uncompressed colour", {{kPicUncompressed, kColour}}, false},
      {"pure run-length colour", {{kPicPureRunLength, kColour}}, false},
      {"mixed colour, mixed alpha",
       {{kPicMixedRunLength, kColour}, {kPicMixedRunLength, kPicAlpha}},
       true},
      {"mixed colour, pure run-length alpha",
       {{kPicMixedRunLength, kColour}, {kPicPureRunLength, kPicAlpha}},
       true},
      {"alpha first", {{kPicMixedRunLength, kPicAlpha}, {kPicMixedRunLength, kColour}}, true},
      {"uncompressed colour and alpha in one packet",
       {{kPicUncompressed, kColour | kPicAlpha}},
       false},
      {"pure run-length channels one by one",
       {{kPicPureRunLength, kPicRed},
        {kPicPureRunLength, kPicGreen},
        {kPicPureRunLength, kPicBlue},
        {kPicPureRunLength, kPicAlpha}},
       true},
      {"every encoding in one file",
       {{kPicMixedRunLength, kPicRed | kPicBlue},
        {kPicUncompressed, kPicGreen},
        {kPicPureRunLength, kPicAlpha}},
       false},
  };
  const PicPicture picture = MadePicture();
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    bool alpha = false;
    for (const PicPacket& packet : layout.packets) alpha |= (packet.channels & kPicAlpha) != 0;
    const std::string path = MakeFile("made.pic", PicFile(picture, layout.packets));
    RasterImage image;
    SoftimagePicReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(reader.PacketCount(), static_cast<int>(layout.packets.size()));
    EXPECT_EQ(reader.HasAlpha(), alpha);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), alpha ? 32 : 24);
    ASSERT_EQ(image.Width(), picture.width);
    ASSERT_EQ(image.Height(), picture.height);
    EXPECT_TRUE(Rgba(image) == (alpha ? picture.rgba : Opaque(picture.rgba)));
#ifndef _WIN32
    if (!layout.oiioDecodes) continue;
    // And as OpenImageIO decodes the same file, colour and alpha apart.
    const std::string colour = FilePath("colour.ppm");
    const std::string alphaAsGrey = FilePath("alpha.ppm");
    std::string command = "oiiotool '" + path + "' --ch R,G,B -o '" + colour + "'";
    if (alpha) command += " && oiiotool '" + path + "' --ch A,A,A -o '" + alphaAsGrey + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "oiiotool (openimageio-tools) is needed";
    const Bytes got = Rgba(image);
    const Ppm colours = ReadPpm(colour);
    const Ppm alphas = alpha ? ReadPpm(alphaAsGrey) : Ppm();
    ASSERT_EQ(colours.pixels.size(), got.size() / 4 * 3);
    bool same = true;
    for (std::size_t i = 0; i < got.size() / 4; ++i) {
      for (int c = 0; c < 3; ++c) same &= got[4 * i + c] == colours.pixels[3 * i + c];
      if (alpha) same &= got[4 * i + 3] == alphas.pixels[3 * i];
    }
    EXPECT_TRUE(same);
#endif
  }
}

// A small file: 3 x 2, one mixed packet of colour, one pure packet of alpha.
// Packets at 104 and 108, the rows from 112: per row a literal of 3 (10
// bytes) and one run of alpha (2 bytes).
Bytes SmallFile() {
  PicPicture picture{
      3, 2, {1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 0, 9, 1, 1, 1, 9, 2, 2, 2, 9, 3, 3, 3, 9}};
  return PicFile(picture, {{kPicMixedRunLength, kColour}, {kPicPureRunLength, kPicAlpha}});
}
Bytes With(Bytes file, std::size_t at, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
  return file;
}
Bytes Appended(Bytes file, std::size_t at, const Bytes& bytes) {
  file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
  return file;
}

TEST_F(SoftimagePicReaderTest, DamagedFilesAreRefusedOrFailToRead) {
  const Bytes small = SmallFile();
  ASSERT_EQ(small.size(), 136u);
  RasterImage check;
  ASSERT_EQ(LoadBytes(small, check), 1);
  ASSERT_TRUE(Rgba(check) == Bytes({1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 0, 9,  //
                                    1, 1, 1, 9, 2, 2, 2, 9, 3, 3, 3, 9}));
  // A chain that never ends: every packet says another follows.
  Bytes endless = PicHeader(3, 2);
  for (int i = 0; i < 1000; ++i) endless.insert(endless.end(), {1, 8, 2, kColour});
  Bytes fiveChained = PicHeader(3, 2);
  for (std::uint8_t mask : {kPicRed, kPicGreen, kPicBlue, kPicAlpha, kPicRed}) {
    fiveChained.insert(fiveChained.end(), {1, 8, 0, mask});
  }
  fiveChained.resize(fiveChained.size() + 100, 0);
  struct Case {
    const char* what;
    Bytes file;
    int opens;  // 1: accepted by the open step, then fails to read
  };
  const Case cases[] = {
      {"no magic", With(small, 0, {0x53, 0x80, 0xF6, 0x35}), 0},
      {"no PICT id", With(small, 88, {'P', 'I', 'C', 'S'}), 0},
      {"width 0", With(small, 92, {0, 0}), 0},
      {"header cut short", Bytes(small.begin(), small.begin() + 103), 0},
      {"endless packet chain", endless, 0},
      {"a fifth packet", fiveChained, 0},
      {"chain ends with the file", Bytes(small.begin(), small.begin() + 108), 0},
      {"16 bits a channel", With(small, 105, {16}), 0},
      {"unknown encoding", With(small, 106, {3}), 0},
      {"packet of no channel", With(small, 111, {0}), 0},
      {"unknown channel bit", With(small, 111, {0x18}), 0},
      {"a channel twice", With(small, 111, {kPicAlpha | kPicRed}), 0},
      {"no blue", With(small, 107, {kPicRed | kPicGreen}), 0},
      {"height that lies", With(small, 94, {0x10, 0}), 0},
      {"rows cut short", Bytes(small.begin(), small.end() - 1), 1},
      {"literal past the row", With(small, 112, {3}), 1},
      {"mixed run past the row", With(small, 112, {131}), 1},
      {"long run past the row", Appended(With(small, 112, {128, 0}), 114, {4}), 1},
      {"pure run past the row", With(small, 122, {4}), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RasterImage image;
    SoftimagePicReader reader;
    const std::string path = MakeFile("damaged.pic", c.file);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), c.opens);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_EQ(engine::LoadPicture(path.c_str(), image), engine::ResultNotReadable);
    EXPECT_TRUE(image.IsEmpty());
  }
}

TEST_F(SoftimagePicReaderTest, LongRunsAndZeroCountsDecodeAsTheFormatHasThem) {
  // One row of 300 pixels: a long run of 200, an empty pure-style long run,
  // and a short run of 100 (code 227); alpha as one pure run of 255 and one
  // of 45.
  Bytes file = PicHeader(300, 1);
  file.insert(file.end(), {1, 8, 2, kColour, 0, 8, 1, kPicAlpha});
  file.insert(file.end(), {128, 0, 200, 10, 20, 30, 128, 0, 0, 99, 99, 99, 227, 40, 50, 60});
  file.insert(file.end(), {255, 7, 45, 8});
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  const Bytes rgba = Rgba(image);
  ASSERT_EQ(rgba.size(), 1200u);
  EXPECT_TRUE(Bytes(rgba.begin() + 4 * 199, rgba.begin() + 4 * 201) ==
              Bytes({10, 20, 30, 7, 40, 50, 60, 7}));
  EXPECT_TRUE(Bytes(rgba.end() - 4, rgba.end()) == Bytes({40, 50, 60, 8}));
}

TEST_F(SoftimagePicReaderTest, ReadReportsEveryRowThenAFinalCallAndTheLoaderTakesPicFiles) {
  const PicPicture picture = MadePicture(20, 9);
  const std::string path = MakeFile("made.pic", PicFile(picture, {{kPicMixedRunLength, kColour}}));
  RasterImage image;
  SoftimagePicReader reader;
  ASSERT_EQ(reader.OpenRead(path.c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(progressCalls, ExpectedProgress(engine::kProgressReading, 9));
  EXPECT_EQ(reader.Read(), 0);

  RasterImage loaded;
  ASSERT_EQ(engine::LoadPicture(path.c_str(), loaded), engine::ResultOk);
  EXPECT_TRUE(Rgba(loaded) == Opaque(picture.rgba));
}

}  // namespace
}  // namespace engine_test
