// RasterImage: creation and release of the backing file, refusal of bad
// layouts and sizes, every direct conversion, copies and the quantiser.
// Expected pixels are computed here from the layout formulas, never by the
// code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/raster_image.h"
#include "private_temp_folder.h"

namespace engine_test {
namespace {

using engine::PaletteEntry;
using engine::RasterImage;

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The layout formulas, written out independently.
int ExpectedGrey(const Rgb& c) {
  return (306 * c.r + 601 * c.g + 117 * c.b) >> 10;
}
int ExpectedWord(const Rgb& c) {
  return ((c.r >> 3) << 11) | ((c.g >> 3) << 6) | ((c.b >> 3) << 1);
}
Rgb ExpectedUnpacked(int word) {
  return Rgb{static_cast<std::uint8_t>((word >> 8) & 0xF8),
             static_cast<std::uint8_t>((word >> 3) & 0xF8),
             static_cast<std::uint8_t>((word << 2) & 0xF8)};
}
Rgb Truncated(const Rgb& c) {
  return Rgb{static_cast<std::uint8_t>(c.r & 0xF8), static_cast<std::uint8_t>(c.g & 0xF8),
             static_cast<std::uint8_t>(c.b & 0xF8)};
}
std::uint32_t ExpectedKey(const Rgb& c) {
  return c.b << 16 | c.g << 8 | c.r;
}

std::vector<Rgb> SampleColours() {
  std::vector<Rgb> colours = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},     {0, 255, 0},
                              {0, 0, 255},   {7, 8, 9},       {248, 249, 250}, {127, 128, 129},
                              {12, 200, 77}, {200, 12, 177},  {1, 254, 3},     {128, 64, 32}};
  std::uint32_t seed = 12345;
  while (colours.size() < 40) {
    seed = seed * 1103515245u + 12345u;
    colours.push_back(Rgb{static_cast<std::uint8_t>(seed >> 24),
                          static_cast<std::uint8_t>(seed >> 16),
                          static_cast<std::uint8_t>(seed >> 8)});
  }
  return colours;
}

std::uint8_t* PixelAt(RasterImage& image, int index) {
  return image.PixelData() + static_cast<std::size_t>(index) * (image.BitsPerPixel() / 8);
}

enum class Layout { Grey8, Paletted8, Word16, Rgb24, Argb32 };
const Layout kLayouts[] = {Layout::Grey8, Layout::Paletted8, Layout::Word16, Layout::Rgb24,
                           Layout::Argb32};

const char* NameOf(Layout layout) {
  switch (layout) {
    case Layout::Grey8:
      return "grey8";
    case Layout::Paletted8:
      return "paletted8";
    case Layout::Word16:
      return "word16";
    case Layout::Rgb24:
      return "rgb24";
    case Layout::Argb32:
      return "argb32";
  }
  return "?";
}

// A source picture plus, per pixel, the colour each conversion must start
// from ("seen") and the raw bytes a same-layout copy must keep.
struct Source {
  RasterImage image;
  std::vector<Rgb> seen;
  std::vector<std::vector<std::uint8_t>> raw;
};

void Fill(Source& source, Layout layout, int width, int height) {
  const std::vector<Rgb> colours = SampleColours();
  const int count = width * height;
  switch (layout) {
    case Layout::Grey8:
      ASSERT_EQ(source.image.Create(width, height, 8, 0), 1);
      break;
    case Layout::Paletted8:
      ASSERT_EQ(source.image.Create(width, height, 8, static_cast<int>(colours.size())), 1);
      for (std::size_t i = 0; i < colours.size(); ++i) {
        source.image.PaletteEntries()[i] =
            PaletteEntry{colours[i].r, colours[i].g, colours[i].b, 0, 0};
      }
      break;
    case Layout::Word16:
      ASSERT_EQ(source.image.Create(width, height, 16, 0), 1);
      break;
    case Layout::Rgb24:
      ASSERT_EQ(source.image.Create(width, height, 24, 0), 1);
      break;
    case Layout::Argb32:
      ASSERT_EQ(source.image.Create(width, height, 32, 0), 1);
      break;
  }
  std::uint32_t seed = 777;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const Rgb& c = colours[(i * 7 + i / width) % colours.size()];
    std::uint8_t* p = PixelAt(source.image, i);
    switch (layout) {
      case Layout::Grey8:
        p[0] = c.g;
        source.seen.push_back(Rgb{c.g, c.g, c.g});
        break;
      case Layout::Paletted8:
        p[0] = static_cast<std::uint8_t>((i * 7 + i / width) % colours.size());
        source.seen.push_back(c);
        break;
      case Layout::Word16: {
        // Any word, bit 0 included: unpacking ignores it.
        const int word = static_cast<int>(seed >> 16);
        p[0] = static_cast<std::uint8_t>(word & 0xFF);
        p[1] = static_cast<std::uint8_t>(word >> 8);
        source.seen.push_back(ExpectedUnpacked(word));
        break;
      }
      case Layout::Rgb24:
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        source.seen.push_back(c);
        break;
      case Layout::Argb32:
        p[0] = static_cast<std::uint8_t>(seed >> 24);
        p[1] = c.r;
        p[2] = c.g;
        p[3] = c.b;
        source.seen.push_back(c);
        break;
    }
    source.raw.emplace_back(p, p + source.image.BitsPerPixel() / 8);
  }
}

int BitsOf(Layout layout) {
  switch (layout) {
    case Layout::Grey8:
    case Layout::Paletted8:
      return 8;
    case Layout::Word16:
      return 16;
    case Layout::Rgb24:
      return 24;
    case Layout::Argb32:
      return 32;
  }
  return 0;
}

std::vector<std::uint8_t> ExpectedPixel(const Source& source, Layout from, int toBits, int i) {
  const Rgb& s = source.seen[i];
  if (toBits == BitsOf(from) && from != Layout::Paletted8) return source.raw[i];
  switch (toBits) {
    case 8:
      return {static_cast<std::uint8_t>(ExpectedGrey(s))};
    case 16: {
      const int word = ExpectedWord(s);
      return {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)};
    }
    case 24:
      return {s.r, s.g, s.b};
    case 32:
      return {255, s.r, s.g, s.b};
  }
  return {};
}

class RasterImageTest : public TempFolderTest {};

TEST_F(RasterImageTest, SmallestGreyImageGetsFileNumberZeroAndReleaseDeletesIt) {
  RasterImage image;
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(image.Stride(), 0);
  ASSERT_EQ(image.Create(1, 1, 8, 0), 1);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(image.PaletteSize(), 0);
  EXPECT_EQ(image.Stride(), 1);
  ASSERT_NE(image.PixelData(), nullptr);
  EXPECT_EQ(image.PixelData()[0], 0);
  EXPECT_EQ(temp.Entries(), std::vector<std::string>{"CSWCLASS0.tmp"});
  EXPECT_EQ(fs::file_size(temp.File("CSWCLASS0.tmp")), 1u);
  EXPECT_EQ(image.Release(), 1);
  EXPECT_TRUE(temp.Entries().empty());
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.PixelData(), nullptr);
}

TEST_F(RasterImageTest, EveryLayoutHasRowsWithoutPaddingInAFileOfExactSize) {
  for (int bits : {8, 16, 24, 32}) {
    RasterImage image;
    ASSERT_EQ(image.Create(5, 3, bits, 7), 1) << bits;
    EXPECT_EQ(image.Stride(), 5 * bits / 8);
    EXPECT_EQ(image.ByteCount(), 15 * bits / 8);
    EXPECT_EQ(fs::file_size(image.BackingPath()), static_cast<std::uintmax_t>(15 * bits / 8));
    EXPECT_EQ(image.Row(2), image.PixelData() + 2 * 5 * bits / 8);
    // A palette belongs to the 8-bit layout only.
    EXPECT_EQ(image.PaletteSize(), bits == 8 ? 7 : 0) << bits;
    EXPECT_EQ(image.PaletteEntries() != nullptr, bits == 8) << bits;
    for (int i = 0; i < 15 * bits / 8; ++i) ASSERT_EQ(image.PixelData()[i], 0);
  }
}

TEST_F(RasterImageTest, InvalidLayoutsFailAndLeaveTheImageEmpty) {
  RasterImage image;
  ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
  ASSERT_EQ(temp.Entries().size(), 1u);
  EXPECT_EQ(image.Create(4, 4, 12, 0), 0);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_TRUE(temp.Entries().empty()) << "the previous content is released first";
  EXPECT_EQ(image.Create(0, 4, 24, 0), 0);
  EXPECT_EQ(image.Create(4, -1, 24, 0), 0);
  EXPECT_EQ(image.Create(4, 4, 0, 0), 0);
  EXPECT_EQ(image.Create(4, 4, 7, 0), 0);
  EXPECT_EQ(image.Create(4, 4, 8, -1), 0);
  // An 8-bit index cannot address more than 256 entries.
  EXPECT_EQ(image.Create(4, 4, 8, 257), 0);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(image.Create(4, 4, 8, 256), 1);
  EXPECT_EQ(image.PaletteSize(), 256);
  // Other layouts ignore a negative palette size.
  EXPECT_EQ(image.Create(4, 4, 16, -3), 1);
  EXPECT_EQ(image.PaletteSize(), 0);
}

TEST_F(RasterImageTest, SizesBeyondTheMappedLimitAreRefusedNotWrapped) {
  RasterImage image;
  // 2^32 bytes: 0 in 32-bit arithmetic.
  EXPECT_EQ(image.Create(65536, 65536, 8, 0), 0);
  EXPECT_EQ(image.Create(65536, 16384, 32, 0), 0);
  // 2^32 + 4 bytes: 4 in 32-bit arithmetic.
  EXPECT_EQ(image.Create(0x40000001, 4, 8, 0), 0);
  // Just over 2^31 - 1.
  EXPECT_EQ(image.Create(46341, 46341, 8, 0), 0);
  EXPECT_EQ(image.Create(65536, 32768, 8, 0), 0);
  EXPECT_EQ(image.Create(0x7FFFFFFF, 0x7FFFFFFF, 32, 0), 0);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(RasterImageTest, EachImageClaimsTheLowestFreeNumber) {
  { std::ofstream(temp.File("CSWCLASS0.tmp")) << "other"; }
  { std::ofstream(temp.File("CSWCLASS2.tmp")) << "other"; }
  RasterImage first, second, third;
  ASSERT_EQ(first.Create(2, 2, 24, 0), 1);
  ASSERT_EQ(second.Create(2, 2, 24, 0), 1);
  EXPECT_EQ(first.BackingPath(), temp.WithSeparator() + "CSWCLASS1.tmp");
  EXPECT_EQ(second.BackingPath(), temp.WithSeparator() + "CSWCLASS3.tmp");
  first.Release();
  ASSERT_EQ(third.Create(2, 2, 24, 0), 1);
  EXPECT_EQ(third.BackingPath(), temp.WithSeparator() + "CSWCLASS1.tmp");
  // Re-creating makes a new file and deletes the old one.
  ASSERT_EQ(second.Create(3, 3, 8, 0), 1);
  EXPECT_EQ(second.BackingPath(), temp.WithSeparator() + "CSWCLASS3.tmp");
  EXPECT_EQ(fs::file_size(second.BackingPath()), 9u);
  second.Release();
  third.Release();
  EXPECT_EQ(temp.Entries(), (std::vector<std::string>{"CSWCLASS0.tmp", "CSWCLASS2.tmp"}));
  fs::remove(temp.File("CSWCLASS0.tmp"));
  fs::remove(temp.File("CSWCLASS2.tmp"));
}

TEST_F(RasterImageTest, DestroyingAnImageDeletesItsFile) {
  {
    RasterImage image;
    ASSERT_EQ(image.Create(3, 3, 32, 0), 1);
    EXPECT_EQ(temp.Entries().size(), 1u);
  }
  EXPECT_TRUE(temp.Entries().empty());
}

TEST_F(RasterImageTest, SpecimenValuesOfTheGreyAnd16BitFormulas) {
  RasterImage rgb;
  ASSERT_EQ(rgb.Create(3, 1, 24, 0), 1);
  const std::uint8_t pixels[] = {255, 0, 0, 255, 255, 255, 0, 0, 0};
  std::copy(std::begin(pixels), std::end(pixels), rgb.PixelData());

  RasterImage grey;
  ASSERT_EQ(rgb.ConvertTo(grey, 8, 0), 1);
  EXPECT_EQ(grey.PixelData()[0], 76);  // (306 x 255) >> 10
  EXPECT_EQ(grey.PixelData()[1], 255);
  EXPECT_EQ(grey.PixelData()[2], 0);

  RasterImage words;
  ASSERT_EQ(rgb.ConvertTo(words, 16, 0), 1);
  EXPECT_EQ(words.PixelData()[2], 0xFE);  // white packs to 0xFFFE, low byte first
  EXPECT_EQ(words.PixelData()[3], 0xFF);
  EXPECT_EQ(words.PixelData()[0], 0x00);  // red: 0xF800
  EXPECT_EQ(words.PixelData()[1], 0xF8);

  RasterImage back;
  ASSERT_EQ(words.ConvertTo(back, 24, 0), 1);
  EXPECT_EQ(back.PixelData()[3], 248);
  EXPECT_EQ(back.PixelData()[4], 248);
  EXPECT_EQ(back.PixelData()[5], 248);
  EXPECT_EQ(back.PixelData()[0], 248);
  EXPECT_EQ(back.PixelData()[1], 0);

  RasterImage argb;
  ASSERT_EQ(grey.ConvertTo(argb, 32, 0), 1);
  EXPECT_EQ(argb.PixelData()[0], 255);
  EXPECT_EQ(argb.PixelData()[1], 76);
  EXPECT_EQ(argb.PixelData()[2], 76);
  EXPECT_EQ(argb.PixelData()[3], 76);
}

// Every source layout into every target layout, on a small picture and on
// rows wider than the conversion's internal runs.
TEST_F(RasterImageTest, EveryConversionPairFollowsTheLayoutFormulas) {
  for (const auto& size : {std::pair<int, int>{7, 5}, std::pair<int, int>{4100, 2}}) {
    for (Layout from : kLayouts) {
      Source source;
      Fill(source, from, size.first, size.second);
      for (int toBits : {8, 16, 24, 32}) {
        SCOPED_TRACE(std::string(NameOf(from)) + " to " + std::to_string(toBits) + " bits, width " +
                     std::to_string(size.first));
        RasterImage converted;
        // For 8 bits, palette size 0 asks for grey; elsewhere it is ignored.
        ASSERT_EQ(source.image.ConvertTo(converted, toBits, toBits == 8 ? 0 : 5), 1);
        EXPECT_EQ(converted.Width(), size.first);
        EXPECT_EQ(converted.Height(), size.second);
        EXPECT_EQ(converted.BitsPerPixel(), toBits);
        EXPECT_EQ(converted.PaletteSize(), 0);
        EXPECT_NE(converted.BackingPath(), source.image.BackingPath());
        const int count = size.first * size.second;
        int mismatches = 0;
        for (int i = 0; i < count && mismatches < 5; ++i) {
          const std::vector<std::uint8_t> expected = ExpectedPixel(source, from, toBits, i);
          const std::uint8_t* actual = PixelAt(converted, i);
          const std::vector<std::uint8_t> got(actual, actual + toBits / 8);
          if (got != expected) {
            ++mismatches;
            ADD_FAILURE() << "pixel " << i;
          }
        }
      }
    }
  }
}

TEST_F(RasterImageTest, SameLayoutConversionIsAnExactCopyIncludingPaletteAndAlpha) {
  for (Layout from : kLayouts) {
    SCOPED_TRACE(NameOf(from));
    Source source;
    Fill(source, from, 6, 4);
    RasterImage copy;
    // A palette request from a paletted picture copies whatever it asks for.
    const int paletteRequest = from == Layout::Paletted8 ? 3 : 0;
    ASSERT_EQ(source.image.ConvertTo(copy, BitsOf(from), paletteRequest), 1);
    EXPECT_EQ(copy.BitsPerPixel(), source.image.BitsPerPixel());
    EXPECT_EQ(copy.PaletteSize(), source.image.PaletteSize());
    for (int i = 0; i < 24; ++i) {
      const std::uint8_t* p = PixelAt(copy, i);
      ASSERT_EQ(std::vector<std::uint8_t>(p, p + BitsOf(from) / 8), source.raw[i]) << i;
    }
    for (int j = 0; j < copy.PaletteSize(); ++j) {
      EXPECT_EQ(copy.PaletteEntries()[j].red, source.image.PaletteEntries()[j].red);
      EXPECT_EQ(copy.PaletteEntries()[j].green, source.image.PaletteEntries()[j].green);
      EXPECT_EQ(copy.PaletteEntries()[j].blue, source.image.PaletteEntries()[j].blue);
    }
  }
}

TEST_F(RasterImageTest, CopyFromDuplicatesIntoItsOwnFile) {
  Source source;
  Fill(source, Layout::Paletted8, 5, 5);
  RasterImage copy;
  ASSERT_EQ(copy.Create(2, 2, 32, 0), 1);
  ASSERT_EQ(copy.CopyFrom(source.image), 1);
  EXPECT_EQ(copy.Width(), 5);
  EXPECT_EQ(copy.PaletteSize(), source.image.PaletteSize());
  EXPECT_NE(copy.BackingPath(), source.image.BackingPath());
  EXPECT_EQ(temp.Entries().size(), 2u) << "the copy's earlier file is gone";
  source.image.PixelData()[0] ^= 0xFF;
  EXPECT_EQ(copy.PixelData()[0], source.raw[0][0]) << "the copy does not share storage";
  EXPECT_EQ(copy.PaletteEntries()[39].blue, source.image.PaletteEntries()[39].blue);

  RasterImage empty;
  EXPECT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_EQ(copy.Width(), 5) << "a failed copy leaves the image unchanged";
  EXPECT_EQ(copy.CopyFrom(copy), 1);
}

TEST_F(RasterImageTest, ConversionFailuresLeaveTheDestinationEmpty) {
  RasterImage empty;
  RasterImage destination;
  ASSERT_EQ(destination.Create(2, 2, 24, 0), 1);
  EXPECT_EQ(empty.ConvertTo(destination, 24, 0), 0);

  RasterImage source;
  ASSERT_EQ(source.Create(2, 2, 24, 0), 1);
  EXPECT_EQ(source.ConvertTo(source, 16, 0), 0) << "no conversion into itself";
  EXPECT_EQ(source.BitsPerPixel(), 24);
  EXPECT_EQ(source.ConvertTo(destination, 12, 0), 0);
  EXPECT_TRUE(destination.IsEmpty());
  EXPECT_EQ(source.ConvertTo(destination, 8, -1), 0);
  EXPECT_TRUE(destination.IsEmpty());
  EXPECT_EQ(temp.Entries().size(), 1u);
}

TEST_F(RasterImageTest, PaletteIndicesBeyondThePaletteReadAsBlack) {
  RasterImage paletted;
  ASSERT_EQ(paletted.Create(4, 1, 8, 2), 1);
  paletted.PaletteEntries()[0] = PaletteEntry{10, 20, 30, 0, 0};
  paletted.PaletteEntries()[1] = PaletteEntry{40, 50, 60, 0, 0};
  const std::uint8_t indices[] = {1, 2, 255, 0};
  std::copy(std::begin(indices), std::end(indices), paletted.PixelData());
  RasterImage rgb;
  ASSERT_EQ(paletted.ConvertTo(rgb, 24, 0), 1);
  const std::vector<std::uint8_t> expected = {40, 50, 60, 0, 0, 0, 0, 0, 0, 10, 20, 30};
  EXPECT_EQ(std::vector<std::uint8_t>(rgb.PixelData(), rgb.PixelData() + 12), expected);
}

// --- quantiser ---

struct Quantised {
  std::vector<Rgb> palette;
  std::vector<Rgb> pixelColours;  // the palette colour each pixel maps to
};

Quantised Entries(const RasterImage& q) {
  Quantised result;
  for (int j = 0; j < q.PaletteSize(); ++j) {
    const PaletteEntry& e = q.PaletteEntries()[j];
    result.palette.push_back(Rgb{e.red, e.green, e.blue});
  }
  for (int i = 0; i < q.Width() * q.Height(); ++i) {
    const int index = q.PixelData()[i];
    EXPECT_LT(index, q.PaletteSize());
    if (index < q.PaletteSize()) result.pixelColours.push_back(result.palette[index]);
  }
  return result;
}

void MakeRgb(RasterImage& image, const std::vector<Rgb>& pixels) {
  ASSERT_EQ(image.Create(static_cast<int>(pixels.size()), 1, 24, 0), 1);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    image.PixelData()[3 * i] = pixels[i].r;
    image.PixelData()[3 * i + 1] = pixels[i].g;
    image.PixelData()[3 * i + 2] = pixels[i].b;
  }
}

std::vector<Rgb> Repeat(std::vector<std::pair<Rgb, int>> counts) {
  std::vector<Rgb> pixels;
  // Interleaved, so position plays no part.
  for (bool more = true; more;) {
    more = false;
    for (auto& entry : counts) {
      if (entry.second > 0) {
        pixels.push_back(entry.first);
        more = --entry.second > 0 || more;
      }
    }
  }
  return pixels;
}

TEST_F(RasterImageTest, ThreeColoursQuantiseToAThreeEntryPaletteSortedByKey) {
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
  RasterImage source;
  MakeRgb(source, Repeat({{blue, 5}, {red, 15}, {green, 10}}));
  RasterImage q;
  ASSERT_EQ(source.ConvertTo(q, 8, 256), 1);
  EXPECT_EQ(q.BitsPerPixel(), 8);
  ASSERT_EQ(q.PaletteSize(), 3);
  const Quantised got = Entries(q);
  EXPECT_EQ(got.palette, (std::vector<Rgb>{{248, 0, 0}, {0, 248, 0}, {0, 0, 248}}));
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(q.PaletteEntries()[j].reserved, 255);
    EXPECT_EQ(q.PaletteEntries()[j].key, ExpectedKey(got.palette[j]));
  }
  const std::vector<Rgb> pixels = Repeat({{blue, 5}, {red, 15}, {green, 10}});
  ASSERT_EQ(got.pixelColours.size(), pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    EXPECT_EQ(got.pixelColours[i], Truncated(pixels[i])) << i;
  }
}

TEST_F(RasterImageTest, QuantiserKeepsTheMostFrequentColoursAndMapsTheRestToTheNearest) {
  const Rgb red{250, 10, 10}, green{10, 250, 10}, blue{10, 10, 250};
  const Rgb reddish{200, 60, 40}, bluish{30, 40, 200};
  const std::vector<Rgb> pixels =
      Repeat({{reddish, 3}, {green, 7}, {bluish, 1}, {red, 9}, {blue, 5}});
  RasterImage source;
  MakeRgb(source, pixels);
  RasterImage q;
  ASSERT_EQ(source.ConvertTo(q, 8, 3), 1);
  ASSERT_EQ(q.PaletteSize(), 3);
  const Quantised got = Entries(q);
  // Sorted by blue << 16 | green << 8 | red.
  EXPECT_EQ(got.palette, (std::vector<Rgb>{Truncated(red), Truncated(green), Truncated(blue)}));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    Rgb expected = Truncated(pixels[i]);
    if (pixels[i] == reddish) expected = Truncated(red);
    if (pixels[i] == bluish) expected = Truncated(blue);
    EXPECT_EQ(got.pixelColours[i], expected) << i;
  }

  RasterImage single;
  ASSERT_EQ(source.ConvertTo(single, 8, 1), 1);
  ASSERT_EQ(single.PaletteSize(), 1);
  EXPECT_EQ(Entries(single).palette, std::vector<Rgb>{Truncated(red)});
  for (std::size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(single.PixelData()[i], 0);
}

TEST_F(RasterImageTest, QuantiserCountsGreyAnd32BitPixelsByTheirPackedColour) {
  RasterImage grey;
  ASSERT_EQ(grey.Create(6, 1, 8, 0), 1);
  const std::uint8_t levels[] = {0, 8, 100, 255, 103, 9};  // 100 and 103, 8 and 9 pack alike
  std::copy(std::begin(levels), std::end(levels), grey.PixelData());
  RasterImage q;
  ASSERT_EQ(grey.ConvertTo(q, 8, 256), 1);
  EXPECT_EQ(q.PaletteSize(), 4);
  const Quantised got = Entries(q);
  for (int i = 0; i < 6; ++i) {
    const std::uint8_t v = static_cast<std::uint8_t>(levels[i] & 0xF8);
    EXPECT_EQ(got.pixelColours[i], (Rgb{v, v, v})) << i;
  }

  RasterImage argb;
  ASSERT_EQ(argb.Create(3, 1, 32, 0), 1);
  const std::uint8_t pixels[] = {0, 1, 2, 3, 128, 1, 2, 3, 255, 200, 100, 50};
  std::copy(std::begin(pixels), std::end(pixels), argb.PixelData());
  ASSERT_EQ(argb.ConvertTo(q, 8, 256), 1);
  EXPECT_EQ(q.PaletteSize(), 2) << "alpha plays no part";
  EXPECT_EQ(Entries(q).pixelColours[2], (Rgb{200, 96, 48}));
}

TEST_F(RasterImageTest, QuantiserCounts16BitPixelsByTheirWord) {
  RasterImage words;
  ASSERT_EQ(words.Create(3, 1, 16, 0), 1);
  // 0x0000 and 0x0001 differ only in the unused bit 0, yet count apart.
  const std::uint8_t pixels[] = {0x00, 0x00, 0x01, 0x00, 0xFE, 0xFF};
  std::copy(std::begin(pixels), std::end(pixels), words.PixelData());
  RasterImage q;
  ASSERT_EQ(words.ConvertTo(q, 8, 256), 1);
  EXPECT_EQ(q.PaletteSize(), 3);
  const Quantised got = Entries(q);
  EXPECT_EQ(got.pixelColours[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(got.pixelColours[1], (Rgb{0, 0, 0}));
  EXPECT_EQ(got.pixelColours[2], (Rgb{248, 248, 248}));
}

TEST_F(RasterImageTest, QuantiserNeverMakesMoreColoursThanAByteCanIndex) {
  // 300 distinct colours; the first 256 twice as frequent as the rest.
  std::vector<Rgb> distinct;
  for (int i = 0; i < 300; ++i) {
    distinct.push_back(
        Rgb{static_cast<std::uint8_t>((i % 20) * 8), static_cast<std::uint8_t>((i / 20) * 8), 40});
  }
  std::vector<Rgb> pixels;
  for (int i = 0; i < 300; ++i) {
    pixels.push_back(distinct[i]);
    if (i < 256) pixels.push_back(distinct[i]);
  }
  RasterImage source;
  MakeRgb(source, pixels);
  RasterImage q;
  ASSERT_EQ(source.ConvertTo(q, 8, 1000), 1);
  ASSERT_EQ(q.PaletteSize(), 256);
  const Quantised got = Entries(q);
  std::set<std::uint32_t> keys;
  for (const Rgb& c : got.palette) keys.insert(ExpectedKey(c));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(keys.count(ExpectedKey(distinct[i])), 1u) << i;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (keys.count(ExpectedKey(pixels[i])) != 0) {
      EXPECT_EQ(got.pixelColours[i], pixels[i]) << i;
    }
  }
}

TEST_F(RasterImageTest, QuantisingAPalettedPictureCopiesItsPalette) {
  Source source;
  Fill(source, Layout::Paletted8, 8, 3);
  RasterImage q;
  ASSERT_EQ(source.image.ConvertTo(q, 8, 4), 1);
  EXPECT_EQ(q.PaletteSize(), 40);
  for (int i = 0; i < 24; ++i) ASSERT_EQ(q.PixelData()[i], source.raw[i][0]);
}

TEST_F(RasterImageTest, ImagesCreatedOnSeveralThreadsHaveTheirOwnFiles) {
  constexpr int kThreads = 6;
  constexpr int kImages = 12;
  std::vector<std::vector<std::string>> paths(kThreads);
  std::vector<int> faults(kThreads, 0);
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &paths, &faults, &created] {
      std::vector<RasterImage> images(kImages);
      for (int i = 0; i < kImages; ++i) {
        if (!images[i].Create(16, 16, 24, 0)) {
          ++faults[t];
          continue;
        }
        std::fill(images[i].PixelData(), images[i].PixelData() + 16 * 16 * 3,
                  static_cast<std::uint8_t>(t * kImages + i));
        RasterImage grey;
        if (!images[i].ConvertTo(grey, 8, 0)) ++faults[t];
      }
      for (int i = 0; i < kImages; ++i) {
        const auto mark = static_cast<std::uint8_t>(t * kImages + i);
        for (int b = 0; b < 16 * 16 * 3; ++b) {
          if (images[i].PixelData()[b] != mark) {
            ++faults[t];
            break;
          }
        }
        paths[t].push_back(images[i].BackingPath());
      }
      // Hold every image until all threads have created theirs, so all of
      // them are alive at once and no number may be reused.
      ++created;
      while (created.load() < kThreads) std::this_thread::yield();
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> unique;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(faults[t], 0) << "thread " << t;
    unique.insert(paths[t].begin(), paths[t].end());
  }
  EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kImages));
}

}  // namespace
}  // namespace engine_test
