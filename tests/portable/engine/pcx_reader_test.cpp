// PcxReader: 8-bit and 24-bit files written by ImageMagick, GraphicsMagick and
// netpbm decode to the pixels pcxtoppm gives, 1- to 4- and 32-bit ones to the
// pixels ImageMagick gives; padded lines, runs that are cut at the end of a
// line and empty runs decode as the format has them; other layouts, damaged
// headers and files too short for their data are refused, and a file whose
// data ends early fails to read. Test pictures come from
// make_pcx.sh; files with unusual layouts are encoded here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/pcx_reader.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::PcxReader;
using engine::RasterImage;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/pcx/" + name;
}

void PutU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Header fields.
constexpr std::size_t kBitsPerPlane = 3;
constexpr std::size_t kXMin = 4;
constexpr std::size_t kYMin = 6;
constexpr std::size_t kXMax = 8;
constexpr std::size_t kYMax = 10;
constexpr std::size_t kPlanes = 65;
constexpr std::size_t kBytesPerLine = 66;

// The colours of an 8-bit image: every index looked up in its palette.
Bytes PaletteColours(const RasterImage& image) {
  Bytes colours;
  const engine::PaletteEntry* palette = image.PaletteEntries();
  for (std::int64_t i = 0; i < image.ByteCount(); ++i) {
    const engine::PaletteEntry& entry = palette[image.PixelData()[i]];
    colours.insert(colours.end(), {entry.red, entry.green, entry.blue});
  }
  return colours;
}

// A 128-byte header of a picture at the origin.
Bytes Header(int width, int height, int planes, int bitsPerPlane, int bytesPerLine) {
  Bytes header(128, 0);
  header[0] = 0x0A;
  header[1] = 5;  // version 3.0
  header[2] = 1;  // run-length encoded
  header[kBitsPerPlane] = static_cast<std::uint8_t>(bitsPerPlane);
  PutU16(header, kXMax, static_cast<std::uint16_t>(width - 1));
  PutU16(header, kYMax, static_cast<std::uint16_t>(height - 1));
  header[kPlanes] = static_cast<std::uint8_t>(planes);
  PutU16(header, kBytesPerLine, static_cast<std::uint16_t>(bytesPerLine));
  header[68] = 1;  // colour palette
  return header;
}

// The usual encoder: runs of up to 63 equal bytes, and single bytes that
// could be taken for a run code, as pairs; everything else as itself. Every
// line is encoded on its own.
void AppendEncodedLine(const Bytes& line, Bytes& out) {
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t run = 1;
    while (at + run < line.size() && run < 63 && line[at + run] == line[at]) ++run;
    if (run > 1 || line[at] >= 0xC0) {
      out.push_back(static_cast<std::uint8_t>(0xC0 | run));
    }
    out.push_back(line[at]);
    at += run;
  }
}

// The palette trailer of an 8-bit file: the marker byte and 256 colours.
void AppendPalette(const Bytes& colours, Bytes& out) {
  out.push_back(0x0C);
  Bytes palette = colours;
  palette.resize(768, 0);
  out.insert(out.end(), palette.begin(), palette.end());
}

class PcxReaderTest : public ReaderTestOf<PcxReader> {};

// ---------------------------------------------------------------- good files

TEST_F(PcxReaderTest, TwentyFourBitFilesLoadToTheirReferencePixels) {
  for (const char* name : {"im24", "gm24", "netpbm24", "wide24"}) {
    SCOPED_TRACE(name);
    const std::string path = TestPicture(std::string(name) + ".pcx");
    const Ppm reference = ReadPpm(TestPicture(std::string(name) + ".ppm"));
    RasterImage image;
    PcxReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(reader.Width(), reference.width);
    EXPECT_EQ(reader.Height(), reference.height);
    EXPECT_EQ(reader.BitsPerPixel(), 24);
    EXPECT_EQ(reader.SourcePath(), path);
    ASSERT_EQ(reader.Read(), 1);
    ASSERT_EQ(image.Width(), reference.width);
    ASSERT_EQ(image.Height(), reference.height);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_TRUE(ImageBytes(image) == reference.pixels);
  }
}

TEST_F(PcxReaderTest, EightBitFilesLoadAsIndicesIntoTheFilesPalette) {
  for (const char* name : {"im8", "gm8", "netpbm8", "wide8"}) {
    SCOPED_TRACE(name);
    const Ppm reference = ReadPpm(TestPicture(std::string(name) + ".ppm"));
    RasterImage image;
    PcxReader reader;
    ASSERT_EQ(reader.OpenRead(TestPicture(std::string(name) + ".pcx").c_str(), image), 1);
    EXPECT_EQ(reader.BitsPerPixel(), 8);
    ASSERT_EQ(reader.Read(), 1);
    ASSERT_EQ(image.Width(), reference.width);
    ASSERT_EQ(image.Height(), reference.height);
    EXPECT_EQ(image.BitsPerPixel(), 8);
    EXPECT_EQ(image.PaletteSize(), 256);
    EXPECT_TRUE(PaletteColours(image) == reference.pixels);
  }
}

TEST_F(PcxReaderTest, PaddingAtTheEndOfEveryPlaneStaysOutOfThePicture) {
  const Ppm reference = ReadPpm(TestPicture("im24.ppm"));
  const int width = reference.width;  // 37: lines padded to an even 38 bytes, and to 45
  for (int bytesPerLine : {width + 1, width + 8}) {
    SCOPED_TRACE(bytesPerLine);
    Bytes file = Header(width, reference.height, 3, 8, bytesPerLine);
    for (int row = 0; row < reference.height; ++row) {
      Bytes line(3 * static_cast<std::size_t>(bytesPerLine), 0xEE);
      for (int x = 0; x < width; ++x) {
        for (int channel = 0; channel < 3; ++channel) {
          line[channel * bytesPerLine + x] = reference.pixels[(row * width + x) * 3 + channel];
        }
      }
      AppendEncodedLine(line, file);
    }
    RasterImage image;
    ASSERT_EQ(LoadBytes(file, image), 1);
    EXPECT_EQ(image.Width(), width);
    EXPECT_TRUE(ImageBytes(image) == reference.pixels);
  }

  // 8 bits: the reference's colours become a palette of their own.
  const Ppm colours = ReadPpm(TestPicture("im8.ppm"));
  std::map<std::uint32_t, std::uint8_t> indexOf;
  Bytes palette;
  Bytes indices;
  for (std::size_t i = 0; i < colours.pixels.size(); i += 3) {
    const std::uint32_t key =
        colours.pixels[i] << 16 | colours.pixels[i + 1] << 8 | colours.pixels[i + 2];
    auto found = indexOf.find(key);
    if (found == indexOf.end()) {
      ASSERT_LT(indexOf.size(), 256u);
      found = indexOf.emplace(key, static_cast<std::uint8_t>(indexOf.size())).first;
      palette.insert(palette.end(), colours.pixels.begin() + i, colours.pixels.begin() + i + 3);
    }
    indices.push_back(found->second);
  }
  Bytes file = Header(width, colours.height, 1, 8, width + 1);
  for (int row = 0; row < colours.height; ++row) {
    Bytes line(indices.begin() + row * width, indices.begin() + (row + 1) * width);
    line.push_back(0xFF);
    AppendEncodedLine(line, file);
  }
  AppendPalette(palette, file);
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  EXPECT_EQ(image.Width(), width);
  EXPECT_TRUE(Bytes(image.PixelData(), image.PixelData() + image.ByteCount()) == indices);
  EXPECT_TRUE(PaletteColours(image) == colours.pixels);
}

TEST_F(PcxReaderTest, EmptyRunsWriteNothingAndRunsAreCutAtTheEndOfTheLine) {
  // Four pixels a line. Line 0: an empty run (C0 77), two literals, an empty
  // run of zeros, a run of two. Line 1: a run of six cut to four. Line 2
  // begins with the byte after that run.
  Bytes file = Header(4, 3, 1, 8, 4);
  const Bytes data = {0xC0, 0x77, 0x01, 0x02, 0xC0, 0x00, 0xC2, 0x03,  // line 0
                      0xC6, 0x11,                                      // line 1
                      0x22, 0x23, 0xC1, 0xC5, 0x25};                   // line 2
  file.insert(file.end(), data.begin(), data.end());
  Bytes palette(768);
  for (int i = 0; i < 256; ++i) palette[3 * i] = static_cast<std::uint8_t>(255 - i);
  AppendPalette(palette, file);
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  const Bytes expected = {0x01, 0x02, 0x03, 0x03, 0x11, 0x11, 0x11, 0x11, 0x22, 0x23, 0xC5, 0x25};
  EXPECT_TRUE(Bytes(image.PixelData(), image.PixelData() + image.ByteCount()) == expected);
  EXPECT_EQ(image.PaletteEntries()[0x11].red, 255 - 0x11);
  EXPECT_EQ(image.PaletteEntries()[0x11].green, 0);
}

TEST_F(PcxReaderTest, EightPlanesOfOneBitAreDecodedAsOneEightBitPlane) {
  // planes x bits = 8: the line holds 8 x 2 bytes, the row takes the first 10.
  Bytes file = Header(10, 2, 8, 1, 2);
  Bytes expected;
  for (int row = 0; row < 2; ++row) {
    Bytes line(16);
    for (int i = 0; i < 16; ++i) line[i] = static_cast<std::uint8_t>(row * 16 + i * 7);
    expected.insert(expected.end(), line.begin(), line.begin() + 10);
    AppendEncodedLine(line, file);
  }
  AppendPalette(Bytes(768, 9), file);
  RasterImage image;
  PcxReader reader;
  ASSERT_EQ(reader.OpenRead(MakeFile("planes.pcx", file).c_str(), image), 1);
  EXPECT_EQ(reader.BitsPerPixel(), 8);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(image.PaletteSize(), 256);
  EXPECT_TRUE(Bytes(image.PixelData(), image.PixelData() + image.ByteCount()) == expected);
}

TEST_F(PcxReaderTest, WindowAwayFromTheOriginGivesTheSameSize) {
  Bytes file = ReadBytes(TestPicture("im24.pcx"));
  PutU16(file, kXMin, 1000);
  PutU16(file, kXMax, 1036);
  PutU16(file, kYMin, 500);
  PutU16(file, kYMax, 522);
  RasterImage image;
  ASSERT_EQ(LoadBytes(file, image), 1);
  EXPECT_TRUE(ImageBytes(image) == ReadPpm(TestPicture("im24.ppm")).pixels);
}

// ---------------------------------------------------------------- 1, 4 and 32 bits

// The reference of a 1-, 4- or 32-bit file as red, green, blue, alpha:
// ImageMagick's decoding (pcxtoppm's for 1 bit).
Bytes ReferenceRgba(const std::string& name) {
  return ReadBytes(TestPicture(name + ".rgba"));
}

TEST_F(PcxReaderTest, OneFourAndThirtyTwoBitFilesDecodeToThePixelsOfAnIndependentDecoder) {
  struct Variant {
    const char* name;
    int planes;
    int bitsPerPlane;
    int imageBits;
    int paletteSize;
  };
  const Variant variants[] = {
      {"bits1", 1, 1, 8, 2},         {"gm_bits1", 1, 1, 8, 2},      {"bits1_colours", 1, 1, 8, 2},
      {"bits1_zeros", 1, 1, 8, 2},   {"bits2_planes", 2, 1, 8, 4},  {"bits3_planes", 3, 1, 8, 8},
      {"bits4_planes", 4, 1, 8, 16}, {"bits4_packed", 1, 4, 8, 16}, {"im32", 4, 8, 32, 0},
      {"wide32", 4, 8, 32, 0},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string path = TestPicture(std::string(v.name) + ".pcx");
    // The writers really produced the layout this case stands for.
    const Bytes file = ReadBytes(path);
    ASSERT_GE(file.size(), 128u);
    ASSERT_EQ(file[kPlanes], v.planes);
    ASSERT_EQ(file[kBitsPerPlane], v.bitsPerPlane);

    RasterImage image;
    PcxReader reader;
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(reader.BitsPerPixel(), v.planes * v.bitsPerPlane);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), v.imageBits);
    EXPECT_EQ(image.PaletteSize(), v.paletteSize);
    const Bytes reference = ReferenceRgba(v.name);
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(image.Width()) * image.Height() * 4);
    EXPECT_EQ(FirstRgbaDifference(ImageAsRgba(image), reference, image.Width()), "");
  }
}

TEST_F(PcxReaderTest, FourPlanesOfEightBitsKeepEveryAlphaLevel) {
  // The source's alpha falls from 255 in the top row to 0 in the bottom one.
  RasterImage image;
  ASSERT_EQ(Load(TestPicture("im32.pcx"), image), 1);
  ASSERT_EQ(image.BitsPerPixel(), 32);
  EXPECT_EQ(image.Row(0)[0], 255);
  EXPECT_EQ(image.Row(image.Height() - 1)[0], 0);
}

TEST_F(PcxReaderTest, OneBitFilesTakeTheHeadersTwoColoursUnlessTheyAreEqual) {
  const Bytes colours = ReadBytes(TestPicture("bits1_colours.pcx"));
  ASSERT_FALSE(std::equal(colours.begin() + 16, colours.begin() + 19, colours.begin() + 19))
      << "the writer put two colours in the header";
  const Bytes zeros = ReadBytes(TestPicture("bits1_zeros.pcx"));
  ASSERT_TRUE(
      std::all_of(zeros.begin() + 16, zeros.begin() + 64, [](std::uint8_t b) { return b == 0; }));
  RasterImage image;
  ASSERT_EQ(LoadBytes(zeros, image), 1);
  ASSERT_EQ(image.PaletteSize(), 2);
  const engine::PaletteEntry* palette = image.PaletteEntries();
  EXPECT_EQ(palette[0].red + palette[0].green + palette[0].blue, 0);
  EXPECT_EQ(palette[1].red + palette[1].green + palette[1].blue, 3 * 255);
}

// A file with a layout the reader does not decode: two planes of two bits.
Bytes TwoPlanesOfTwoBits() {
  Bytes file = ReadBytes(TestPicture("bits4_planes.pcx"));
  file[kPlanes] = 2;
  file[kBitsPerPlane] = 2;
  return file;
}

// Broken 1-, 4- and 32-bit files: refused when opened, or failing when read.
// Either way the loader answers "not readable" and leaves no file behind.
TEST_F(PcxReaderTest, MalformedOneFourAndThirtyTwoBitFilesAreRefusedOrFailToRead) {
  enum Stage { Refused, ReadFails };
  struct Case {
    const char* what;
    const char* source;
    Stage stage;
    void (*damage)(Bytes& file);
  };
  const Case cases[] = {
      {"1-bit lines shorter than the width", "bits1", Refused,
       [](Bytes& f) { PutU16(f, kBytesPerLine, 4); }},
      {"packed 4-bit lines shorter than the width", "bits4_packed", Refused,
       [](Bytes& f) { PutU16(f, kBytesPerLine, 18); }},
      {"4-plane lines shorter than the width", "bits4_planes", Refused,
       [](Bytes& f) { PutU16(f, kBytesPerLine, 4); }},
      {"32-bit planes shorter than the width", "im32", Refused,
       [](Bytes& f) { PutU16(f, kBytesPerLine, 36); }},
      {"five planes of 8 bits", "im32", Refused, [](Bytes& f) { f[kPlanes] = 5; }},
      {"two planes of 16 bits", "im32", Refused,
       [](Bytes& f) {
         f[kPlanes] = 2;
         f[kBitsPerPlane] = 16;
       }},
      {"2-bit pixels", "bits1", Refused, [](Bytes& f) { f[kBitsPerPlane] = 2; }},
      {"five planes of 1 bit", "bits4_planes", Refused, [](Bytes& f) { f[kPlanes] = 5; }},
      {"a window far larger than the data", "bits1", Refused,
       [](Bytes& f) {
         PutU16(f, kYMax, 60000);
         PutU16(f, kBytesPerLine, 60000);
       }},
      {"1-bit data cut in half", "bits1", ReadFails,
       [](Bytes& f) { f.resize(128 + (f.size() - 128) / 2); }},
      {"4-plane data cut in half", "bits4_planes", ReadFails,
       [](Bytes& f) { f.resize(128 + (f.size() - 128) / 2); }},
      {"32-bit data cut by its last byte", "im32", ReadFails, [](Bytes& f) { f.pop_back(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = ReadBytes(TestPicture(std::string(c.source) + ".pcx"));
    ASSERT_GE(file.size(), 128u);
    c.damage(file);
    const std::string path = MakeFile("damaged.pcx", file);
    RasterImage image;
    PcxReader reader;
    EXPECT_EQ(reader.OpenRead(path.c_str(), image), c.stage == Refused ? 0 : 1);
    EXPECT_EQ(reader.Read(), 0);
    EXPECT_EQ(Load(path, image), 0);
  }
}

// ---------------------------------------------------------------- refused files

TEST_F(PcxReaderTest, TwoPlanesOfTwoBitsAreRefused) {
  RasterImage image;
  PcxReader reader;
  EXPECT_EQ(reader.OpenRead(MakeFile("planes2x2.pcx", TwoPlanesOfTwoBits()).c_str(), image), 0);
  EXPECT_EQ(reader.Read(), 0);
  EXPECT_TRUE(image.IsEmpty());
}

TEST_F(PcxReaderTest, FilesThatAreNoPcxFilesAreRefused) {
  EXPECT_EQ(Opens(TestPicture("source.ppm")), 0);
  EXPECT_EQ(Opens(FilePath("missing.pcx")), 0);
  EXPECT_EQ(Opens(files.PathText()), 0) << "a folder";
  EXPECT_EQ(OpensBytes(Bytes()), 0);
  const Bytes good = ReadBytes(TestPicture("im24.pcx"));
  EXPECT_EQ(OpensBytes(Bytes(good.begin(), good.begin() + 127)), 0) << "a short header";
  Bytes file = good;
  file[0] = 0x0B;
  EXPECT_EQ(OpensBytes(file), 0);
  RasterImage image;
  PcxReader reader;
  EXPECT_EQ(reader.OpenRead(nullptr, image), 0);
}

TEST_F(PcxReaderTest, WindowsWithoutTwoColumnsAndTwoRowsAreRefused) {
  const Bytes good = ReadBytes(TestPicture("im24.pcx"));
  struct Window {
    std::uint16_t xMin, yMin, xMax, yMax;
  };
  const Window bad[] = {
      {5, 0, 5, 22},        // one column
      {0, 7, 36, 7},        // one row
      {5, 0, 4, 22},        // maximum below minimum: no columns
      {0, 9, 36, 8},        // no rows
      {65535, 0, 0, 22},    // maximum far below minimum
      {0, 0, 65535, 65535}  // far more than the file holds
  };
  for (const Window& w : bad) {
    SCOPED_TRACE(testing::Message() << w.xMin << "," << w.yMin << " " << w.xMax << "," << w.yMax);
    Bytes file = good;
    PutU16(file, kXMin, w.xMin);
    PutU16(file, kYMin, w.yMin);
    PutU16(file, kXMax, w.xMax);
    PutU16(file, kYMax, w.yMax);
    EXPECT_EQ(OpensBytes(file), 0);
  }
}

TEST_F(PcxReaderTest, LinesThatCannotHoldTheirPixelsAreRefused) {
  const Bytes rgb = ReadBytes(TestPicture("im24.pcx"));
  struct Layout {
    int planes, bitsPerPlane, bytesPerLine;
  };
  // 24 bits: planes shorter than the width, or fewer than three planes.
  for (const Layout& l :
       {Layout{3, 8, 36}, Layout{3, 8, 0}, Layout{1, 24, 111}, Layout{2, 12, 111}}) {
    SCOPED_TRACE(testing::Message()
                 << l.planes << " x " << l.bitsPerPlane << " bits, " << l.bytesPerLine << " bytes");
    Bytes file = rgb;
    file[kPlanes] = static_cast<std::uint8_t>(l.planes);
    file[kBitsPerPlane] = static_cast<std::uint8_t>(l.bitsPerPlane);
    PutU16(file, kBytesPerLine, static_cast<std::uint16_t>(l.bytesPerLine));
    EXPECT_EQ(OpensBytes(file), 0);
  }
  // 8 bits: a line shorter than the width.
  Bytes file = ReadBytes(TestPicture("im8.pcx"));
  for (int bytesPerLine : {36, 0}) {
    SCOPED_TRACE(bytesPerLine);
    PutU16(file, kBytesPerLine, static_cast<std::uint16_t>(bytesPerLine));
    EXPECT_EQ(OpensBytes(file), 0);
  }
}

TEST_F(PcxReaderTest, FilesTooShortForTheirDeclaredDataAreRefused) {
  // Two lines of four bytes need at least two bytes each (one run apiece).
  Bytes enough = Header(4, 2, 1, 8, 4);
  for (std::uint8_t b : {0xC4, 0x11, 0xC4, 0x22}) enough.push_back(b);
  AppendPalette(Bytes(768, 1), enough);
  RasterImage image;
  ASSERT_EQ(LoadBytes(enough, image), 1);
  EXPECT_EQ(image.PixelData()[0], 0x11);
  EXPECT_EQ(image.PixelData()[7], 0x22);

  // Everything between the header and the last 768 bytes counts as data,
  // the palette's marker byte included: one run and the marker are 3 bytes.
  Bytes tooShort = Header(4, 2, 1, 8, 4);
  for (std::uint8_t b : {0xC4, 0x11}) tooShort.push_back(b);
  AppendPalette(Bytes(768, 1), tooShort);
  EXPECT_EQ(OpensBytes(tooShort), 0);

  // An 8-bit file needs its header, some data and the palette: 897 bytes.
  Bytes eightBit = Header(2, 2, 1, 8, 2);
  eightBit.resize(896, 0);
  EXPECT_EQ(OpensBytes(eightBit), 0);
  // 24 bits: all of a line of 3 x 63 bytes can come from 3 runs, no fewer.
  Bytes rgb = Header(63, 2, 3, 8, 63);
  for (int run = 0; run < 5; ++run) rgb.insert(rgb.end(), {0xFF, 0x10});
  EXPECT_EQ(OpensBytes(rgb), 0);
  rgb.insert(rgb.end(), {0xFF, 0x10});
  EXPECT_EQ(OpensBytes(rgb), 1);
}

TEST_F(PcxReaderTest, DataEndingBeforeTheLastLineFailsToReadWithAFinalReport) {
  // 24 bits: the file is cut inside its data.
  const Bytes rgb = ReadBytes(TestPicture("im24.pcx"));
  RasterImage image;
  {
    PcxReader reader;
    const Bytes cut(rgb.begin(), rgb.begin() + static_cast<std::ptrdiff_t>(rgb.size() * 2 / 3));
    ASSERT_EQ(reader.OpenRead(MakeFile("cut24.pcx", cut).c_str(), image, RecordProgress), 1);
    EXPECT_EQ(reader.Read(), 0);
    ASSERT_GE(progressCalls.size(), 2u);
    EXPECT_LT(progressCalls.size(), 24u) << "only the lines decoded, then the final report";
    EXPECT_EQ(progressCalls.back().row, 22);
    EXPECT_EQ(progressCalls.back().percent, 100);
  }
  // 8 bits: data bytes missing between the header and an intact palette.
  const Bytes indexed = ReadBytes(TestPicture("im8.pcx"));
  const std::size_t dataEnd = indexed.size() - 769;
  Bytes cut(indexed.begin(), indexed.begin() + 128 + (dataEnd - 128) / 2);
  cut.insert(cut.end(), indexed.end() - 769, indexed.end());
  EXPECT_EQ(LoadBytes(cut, image), 0);
}

// ---------------------------------------------------------------- conventions

TEST_F(PcxReaderTest, ReadReportsEveryLineThenAFinalCall) {
  RasterImage image;
  PcxReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("netpbm8.pcx").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(reader.Read(), 1);
  ASSERT_EQ(progressCalls.size(), 24u);
  for (int i = 0; i < 24; ++i) {
    const int row = i < 23 ? i : 22;
    EXPECT_EQ(progressCalls[i].direction, engine::kProgressReading);
    EXPECT_EQ(progressCalls[i].row, row);
    EXPECT_EQ(progressCalls[i].percent, (row + 1) * 100 / 23);
    EXPECT_EQ(progressCalls[i].reserved, 0);
  }
}

TEST_F(PcxReaderTest, ReadWithoutASuccessfulOpenFailsAndReadRunsOnlyOnce) {
  RasterImage image;
  PcxReader reader;
  EXPECT_EQ(reader.Read(), 0);
  ASSERT_EQ(reader.OpenRead(TestPicture("im24.pcx").c_str(), image), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Read(), 0);
  ASSERT_EQ(reader.OpenRead(TestPicture("im24.pcx").c_str(), image), 1);
  EXPECT_EQ(reader.OpenRead(MakeFile("planes2x2.pcx", TwoPlanesOfTwoBits()).c_str(), image), 0);
  EXPECT_EQ(reader.Read(), 0) << "a refused open after a good one leaves nothing to read";
}

TEST_F(PcxReaderTest, CompressedDataIsHeldInAMappedBufferThatIsDeletedAfterwards) {
  watchedFolder = temp.PathText();
  mostBackingFiles = 0;
  RasterImage image;
  PcxReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("gm24.pcx").c_str(), image, CountBackingFiles), 1);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(mostBackingFiles, 2u) << "the image and the compressed data";
  EXPECT_EQ(temp.Entries().size(), 1u) << "only the image's storage stays";
}

TEST_F(PcxReaderTest, ReadThatCannotCreateTheImageFailsWithAFinalReport) {
  RasterImage image;
  PcxReader reader;
  ASSERT_EQ(reader.OpenRead(TestPicture("im8.pcx").c_str(), image, RecordProgress), 1);
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(reader.Read(), 0);
  temp.PointAt(temp.PathText());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0].row, 22);
  EXPECT_TRUE(image.IsEmpty());
}

TEST_F(PcxReaderTest, EveryPathReleasesTheSourceFile) {
  // Windows refuses to rename a file that is still open.
  const Bytes good = ReadBytes(TestPicture("im24.pcx"));
  const Bytes refused = TwoPlanesOfTwoBits();
  const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  RasterImage image;
  std::error_code error;
  {
    PcxReader reader;
    const std::string path = MakeFile("read.pcx", good);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    fs::rename(path, FilePath("read-moved.pcx"), error);
    EXPECT_FALSE(error) << "after a complete read";
  }
  {
    PcxReader reader;
    const std::string path = MakeFile("cut.pcx", cut);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 0);
    fs::rename(path, FilePath("cut-moved.pcx"), error);
    EXPECT_FALSE(error) << "after a failed read";
  }
  {
    PcxReader reader;
    const std::string path = MakeFile("refused.pcx", refused);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 0);
    fs::rename(path, FilePath("refused-moved.pcx"), error);
    EXPECT_FALSE(error) << "after a refused open";
  }
  {
    PcxReader reader;
    const std::string path = MakeFile("closed.pcx", good);
    ASSERT_EQ(reader.OpenRead(path.c_str(), image), 1);
    reader.Close();
    fs::rename(path, FilePath("closed-moved.pcx"), error);
    EXPECT_FALSE(error) << "after Close without reading";
  }
}

}  // namespace
}  // namespace engine_test
