// JpegCodec: decoding files written by cjpeg and ImageMagick to the pixels
// djpeg gives, refusing what the engine cannot or must not read, and writing
// sequential baseline JFIF files whose structure is checked byte by byte and
// whose pixels are read back. Test pictures come from make_jpeg.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/jpeg_codec.h"
#include "engine/jpeg_library.h"
#include "engine/raster_image.h"
#include "reader_test_support.h"

namespace engine_test {
namespace {

using engine::JpegCodec;
using engine::PaletteEntry;
using engine::RasterImage;
using engine::SourceVariant;

std::string TestPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/jpeg/" + name;
}

// A binary PPM (P6) or PGM (P5) with maxval 255, as djpeg and ImageMagick
// write them.
struct Pnm {
  int width = 0;
  int height = 0;
  int channels = 0;
  Bytes pixels;
};

Pnm ReadPnm(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  Pnm pnm;
  std::size_t at = 0;
  auto skipSpace = [&] {
    while (at < bytes.size()) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (std::isspace(bytes[at])) {
        ++at;
      } else {
        break;
      }
    }
  };
  auto number = [&] {
    skipSpace();
    int value = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9')
      value = value * 10 + (bytes[at++] - '0');
    return value;
  };
  if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) {
    ADD_FAILURE() << path << " is not a binary PNM file";
    return pnm;
  }
  pnm.channels = bytes[1] == '6' ? 3 : 1;
  at = 2;
  pnm.width = number();
  pnm.height = number();
  const int maxval = number();
  ++at;  // the single whitespace byte before the samples
  const std::size_t count = static_cast<std::size_t>(pnm.width) * pnm.height * pnm.channels;
  if (maxval != 255 || bytes.size() < at + count) {
    ADD_FAILURE() << path << " has an unexpected header or is short";
    return pnm;
  }
  pnm.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
  return pnm;
}

// A 24-bit or 8-bit grey image holding the PNM's pixels.
void FillFromPnm(const Pnm& pnm, RasterImage& image) {
  ASSERT_EQ(image.Create(pnm.width, pnm.height, pnm.channels == 3 ? 24 : 8, 0), 1);
  std::memcpy(image.PixelData(), pnm.pixels.data(), pnm.pixels.size());
}

struct Difference {
  int maxAbs = 0;
  double psnr = 0;
};

Difference Compare(const Bytes& a, const Bytes& b) {
  Difference result;
  double squares = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int d = std::abs(int(a[i]) - int(b[i]));
    result.maxAbs = std::max(result.maxAbs, d);
    squares += double(d) * d;
  }
  const double mse = squares / double(a.size());
  result.psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
  return result;
}

// The marker segments of a JPEG file, with the entropy-coded data of each
// scan skipped.
struct Segment {
  std::uint8_t marker = 0;
  std::size_t offset = 0;  // of the FF byte
  std::size_t end = 0;     // one past the segment, and past its scan data for SOS
  Bytes payload;           // after the length field
};

std::vector<Segment> ParseSegments(const Bytes& file) {
  std::vector<Segment> segments;
  if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) {
    ADD_FAILURE() << "no SOI at the start";
    return segments;
  }
  segments.push_back(Segment{0xD8, 0, 2, {}});
  std::size_t at = 2;
  while (at + 1 < file.size()) {
    if (file[at] != 0xFF) {
      ADD_FAILURE() << "no marker at offset " << at;
      return segments;
    }
    Segment segment;
    segment.offset = at;
    while (at < file.size() && file[at] == 0xFF) ++at;
    if (at >= file.size()) break;
    segment.marker = file[at++];
    if (segment.marker == 0xD9) {
      segment.end = at;
      segments.push_back(segment);
      break;
    }
    if (at + 2 > file.size()) break;
    const std::size_t length = (file[at] << 8) | file[at + 1];
    if (length < 2 || at + length > file.size()) {
      ADD_FAILURE() << "bad segment length at offset " << at;
      return segments;
    }
    segment.payload.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 2),
                           file.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
    if (segment.marker == 0xDA) {
      // Scan data runs to the next marker that is neither a stuffed zero nor
      // a restart marker.
      while (at + 1 < file.size() && !(file[at] == 0xFF && file[at + 1] != 0x00 &&
                                       (file[at + 1] < 0xD0 || file[at + 1] > 0xD7))) {
        ++at;
      }
    }
    segment.end = at;
    segments.push_back(segment);
  }
  return segments;
}

std::vector<Segment> SegmentsWith(const std::vector<Segment>& all, std::uint8_t marker) {
  std::vector<Segment> found;
  for (const auto& segment : all) {
    if (segment.marker == marker) found.push_back(segment);
  }
  return found;
}

// Quantisation tables of a file: 64 values each, in zigzag order, with
// their precision byte.
struct QuantTable {
  int precisionAndId = 0;
  std::vector<int> values;
};

std::vector<QuantTable> QuantTables(const std::vector<Segment>& segments) {
  std::vector<QuantTable> tables;
  for (const auto& dqt : SegmentsWith(segments, 0xDB)) {
    std::size_t at = 0;
    while (at < dqt.payload.size()) {
      QuantTable table;
      table.precisionAndId = dqt.payload[at++];
      const bool wide = (table.precisionAndId >> 4) != 0;
      for (int k = 0; k < 64 && at < dqt.payload.size(); ++k) {
        table.values.push_back(wide ? (dqt.payload[at] << 8) | dqt.payload[at + 1]
                                    : dqt.payload[at]);
        at += wide ? 2 : 1;
      }
      tables.push_back(table);
    }
  }
  return tables;
}

// Huffman tables of a file: class and id, and the 16 code-length counts.
struct HuffmanTable {
  int classAndId = 0;
  std::vector<int> counts;
};

std::vector<HuffmanTable> HuffmanTables(const std::vector<Segment>& segments) {
  std::vector<HuffmanTable> tables;
  for (const auto& dht : SegmentsWith(segments, 0xC4)) {
    std::size_t at = 0;
    while (at + 17 <= dht.payload.size()) {
      HuffmanTable table;
      table.classAndId = dht.payload[at++];
      int symbols = 0;
      for (int i = 0; i < 16; ++i) {
        table.counts.push_back(dht.payload[at + i]);
        symbols += dht.payload[at + i];
      }
      at += 16 + static_cast<std::size_t>(symbols);
      tables.push_back(table);
    }
  }
  return tables;
}

// The example tables of the JPEG standard (its annex K), which libjpeg uses
// unless coding is optimized: counts of codes per length.
std::vector<int> StandardHuffmanCounts(int classAndId) {
  switch (classAndId) {
    case 0x00:
      return {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    case 0x01:
      return {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
    case 0x10:
      return {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
    case 0x11:
      return {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
    default:
      return {};
  }
}

// The standard luminance quantisation table in natural order, and the zigzag
// order in which files store it.
const int kStandardLuminance[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                    58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                    22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                    77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                    103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
const int kZigzagToNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Checks the reports of one read or write of `rows` rows: one per row in
// order, then the final one again for the last row.
void ExpectProgressOfAllRows(int direction, int rows) {
  EXPECT_EQ(progressCalls, ExpectedProgress(direction, rows));
}

class JpegCodecTest : public ReaderTestOf<JpegCodec> {};

// ---------------------------------------------------------------- reading

TEST_F(JpegCodecTest, ColourFilesDecodeToExactlyTheRgbPixelsOfDjpeg) {
  // All decoded with the library's defaults, as djpeg does; progressive 4:2:0
  // also exercises block smoothing, 4:2:2 and 4:4:4 the other upsamplers.
  for (const char* name :
       {"baseline", "progressive", "sampled444_restart", "sampled422", "arithmetic"}) {
    SCOPED_TRACE(name);
    const Pnm expected = ReadPnm(TestPicture(std::string(name) + ".ppm"));
    RasterImage image;
    JpegCodec codec;
    ASSERT_EQ(codec.OpenRead(TestPicture(std::string(name) + ".jpg").c_str(), image), 1);
    EXPECT_EQ(codec.Variant(), SourceVariant::JpegColour);
    EXPECT_EQ(codec.BitsPerPixel(), 24);
    EXPECT_EQ(codec.Width(), 61);
    EXPECT_EQ(codec.Height(), 43);
    EXPECT_EQ(codec.SourcePath(), TestPicture(std::string(name) + ".jpg"));
    ASSERT_EQ(codec.Read(), 1);
    EXPECT_EQ(codec.Variant(), SourceVariant::None) << "Read closes and forgets";
    ASSERT_EQ(image.BitsPerPixel(), 24);
    ASSERT_EQ(image.Width(), expected.width);
    ASSERT_EQ(image.Height(), expected.height);
    EXPECT_TRUE(ImageBytes(image) == expected.pixels);
  }
}

TEST_F(JpegCodecTest, GreyFilesDecodeToAnEightBitGreyImageLikeDjpeg) {
  for (const char* name : {"grey", "grey_progressive"}) {
    SCOPED_TRACE(name);
    const Pnm expected = ReadPnm(TestPicture(std::string(name) + ".pgm"));
    RasterImage image;
    JpegCodec codec;
    ASSERT_EQ(codec.OpenRead(TestPicture(std::string(name) + ".jpg").c_str(), image), 1);
    EXPECT_EQ(codec.Variant(), SourceVariant::JpegGrey);
    EXPECT_EQ(codec.BitsPerPixel(), 8);
    ASSERT_EQ(codec.Read(), 1);
    ASSERT_EQ(image.BitsPerPixel(), 8);
    EXPECT_EQ(image.PaletteSize(), 0);
    ASSERT_EQ(image.Width(), expected.width);
    ASSERT_EQ(image.Height(), expected.height);
    EXPECT_TRUE(ImageBytes(image) == expected.pixels);
  }
}

TEST_F(JpegCodecTest, ReadReplacesWhatTheImageHeldBefore) {
  RasterImage image;
  ASSERT_EQ(image.Create(5, 5, 8, 16), 1);
  ASSERT_EQ(Load(TestPicture("baseline.jpg"), image), 1);
  EXPECT_EQ(image.Width(), 61);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.PaletteSize(), 0);
  EXPECT_EQ(temp.Entries().size(), 1u) << "the earlier backing file is deleted";
}

TEST_F(JpegCodecTest, TruncatedScanDataIsPaddedAsTheLibraryDoesAndStillReads) {
  // libjpeg pads a file that ends inside its scan data and only warns; warnings
  // are not failures, so the picture reads, with the rows djpeg shows.
  const Pnm expected = ReadPnm(TestPicture("truncated.ppm"));
  RasterImage image;
  ASSERT_EQ(Load(TestPicture("truncated.jpg"), image), 1);
  ASSERT_EQ(image.Width(), expected.width);
  ASSERT_EQ(image.Height(), expected.height);
  EXPECT_TRUE(ImageBytes(image) == expected.pixels);
}

TEST_F(JpegCodecTest, BytesAfterThePictureAreNeverRead) {
  Bytes file = ReadBytes(TestPicture("baseline.jpg"));
  const Bytes junk(100000, 0x5A);
  file.insert(file.end(), junk.begin(), junk.end());
  RasterImage image;
  ASSERT_EQ(Load(MakeFile("trailing.jpg", file), image), 1);
  EXPECT_TRUE(ImageBytes(image) == ReadPnm(TestPicture("baseline.ppm")).pixels);
}

// Four-component files were refused before; they now read as RGB the way
// ImageMagick shows them. The tolerance covers ImageMagick's floating-point
// conversion against the integer one here (with its rounding of C x K).
TEST_F(JpegCodecTest, CmykAndYcckFilesReadAsTheRgbImageMagickShows) {
  constexpr int kCmykTolerance = 1;
  const struct {
    const char* name;
    int colourTransform;  // Adobe APP14: 0 CMYK, 2 YCCK
  } cases[] = {{"cmyk", 2}, {"cmyk_plain", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPicture(std::string(c.name) + ".jpg");
    const std::vector<Segment> segments = ParseSegments(ReadBytes(path));
    const auto frames = SegmentsWith(segments, 0xC0);
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].payload[5], 4) << "the test picture must have four components";
    const auto adobe = SegmentsWith(segments, 0xEE);
    ASSERT_EQ(adobe.size(), 1u);
    ASSERT_EQ(adobe[0].payload.at(11), c.colourTransform);

    RasterImage image;
    JpegCodec codec;
    ASSERT_EQ(codec.OpenRead(path.c_str(), image), 1);
    EXPECT_EQ(codec.Variant(), SourceVariant::JpegColour);
    EXPECT_EQ(codec.BitsPerPixel(), 24);
    ASSERT_EQ(codec.Read(), 1);
    ASSERT_EQ(image.BitsPerPixel(), 24);
    ASSERT_EQ(image.Width(), 61);
    ASSERT_EQ(image.Height(), 43);
    const Bytes expected = ReadBytes(TestPicture(std::string(c.name) + ".rgb"));
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(image.ByteCount()));
    int largest = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      largest = std::max(largest, std::abs(int{image.PixelData()[i]} - int{expected[i]}));
    }
    EXPECT_LE(largest, kCmykTolerance);
  }
}

TEST_F(JpegCodecTest, FilesNotStartingWithTheJpegSignatureAreRefused) {
  RasterImage image;
  JpegCodec codec;
  EXPECT_EQ(codec.OpenRead(TestPicture("source.png").c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(MakeFile("empty.jpg", {}).c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(MakeFile("one.jpg", {0xFF}).c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(MakeFile("swapped.jpg", {0xD8, 0xFF, 0xE0, 0x00}).c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(MakeFile("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'}).c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(FilePath("missing.jpg").c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(files.PathText().c_str(), image), 0);
  EXPECT_EQ(codec.OpenRead(nullptr, image), 0);
  EXPECT_TRUE(image.IsEmpty());
}

TEST_F(JpegCodecTest, SignatureFollowedByADamagedHeaderIsRefused) {
  const Bytes good = ReadBytes(TestPicture("baseline.jpg"));
  const std::vector<Segment> segments = ParseSegments(good);
  const auto frames = SegmentsWith(segments, 0xC0);
  ASSERT_EQ(frames.size(), 1u);
  const std::size_t frame = frames[0].offset;

  std::vector<std::pair<std::string, Bytes>> damaged;
  damaged.push_back({"signature only", {0xFF, 0xD8}});
  damaged.push_back(
      {"signature and text", {0xFF, 0xD8, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}});
  damaged.push_back({"cut before the frame header",
                     Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(frame))});
  Bytes zeroWidth = good;
  zeroWidth[frame + 7] = 0;
  zeroWidth[frame + 8] = 0;
  damaged.push_back({"zero width", zeroWidth});
  Bytes badPrecision = good;
  badPrecision[frame + 4] = 7;
  damaged.push_back({"7-bit samples", badPrecision});
  Bytes shortFrame = good;
  shortFrame[frame + 3] = 5;  // frame header length too short for its fields
  damaged.push_back({"short frame header", shortFrame});

  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    RasterImage image;
    JpegCodec codec;
    EXPECT_EQ(codec.OpenRead(MakeFile("damaged.jpg", bytes).c_str(), image), 0);
    EXPECT_EQ(codec.Variant(), SourceVariant::None);
  }
}

// The file with the scans of progressive.jpg followed by copies of its last
// scan, `scans` scans in all.
Bytes ProgressiveWithScans(int scans) {
  const Bytes original = ReadBytes(TestPicture("progressive.jpg"));
  const std::vector<Segment> segments = ParseSegments(original);
  const auto sos = SegmentsWith(segments, 0xDA);
  const Segment& last = sos.back();
  Bytes file(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(last.end));
  for (int i = static_cast<int>(sos.size()); i < scans; ++i) {
    file.insert(file.end(), original.begin() + static_cast<std::ptrdiff_t>(last.offset),
                original.begin() + static_cast<std::ptrdiff_t>(last.end));
  }
  file.push_back(0xFF);
  file.push_back(0xD9);
  return file;
}

TEST_F(JpegCodecTest, ProgressiveFilesWithMoreScansThanTheLimitAreRefused) {
  const int limit = engine::jpeg_library::kMaxScans;
  ASSERT_EQ(SegmentsWith(ParseSegments(ProgressiveWithScans(limit)), 0xDA).size(),
            static_cast<std::size_t>(limit));

  RasterImage image;
  JpegCodec codec;
  ASSERT_EQ(codec.OpenRead(MakeFile("at_limit.jpg", ProgressiveWithScans(limit)).c_str(), image),
            1);
  EXPECT_EQ(codec.Read(), 1);
  EXPECT_EQ(
      codec.OpenRead(MakeFile("over_limit.jpg", ProgressiveWithScans(limit + 1)).c_str(), image),
      0);
}

// baseline.jpg or progressive.jpg with another size in its frame header.
Bytes WithSize(const std::string& name, int width, int height) {
  Bytes file = ReadBytes(TestPicture(name));
  const std::vector<Segment> segments = ParseSegments(file);
  for (const auto& segment : segments) {
    if (segment.marker == 0xC0 || segment.marker == 0xC2) {
      file[segment.offset + 5] = static_cast<std::uint8_t>(height >> 8);
      file[segment.offset + 6] = static_cast<std::uint8_t>(height);
      file[segment.offset + 7] = static_cast<std::uint8_t>(width >> 8);
      file[segment.offset + 8] = static_cast<std::uint8_t>(width);
    }
  }
  return file;
}

TEST_F(JpegCodecTest, HeadersDeclaringMoreThanTheEngineCanHoldAreRefusedBeforeDecoding) {
  RasterImage image;
  JpegCodec codec;
  // 65500 x 65500 RGB would need 12 GiB of picture storage.
  EXPECT_EQ(
      codec.OpenRead(MakeFile("huge.jpg", WithSize("baseline.jpg", 65500, 65500)).c_str(), image),
      0);
  // 20000 x 20000 RGB fits the storage limit, but its progressive decoding
  // would need 2.4 GB of coefficient buffers, beyond the decoder's limit.
  EXPECT_EQ(codec.OpenRead(MakeFile("wide.jpg", WithSize("progressive.jpg", 20000, 20000)).c_str(),
                           image),
            0);
  EXPECT_TRUE(image.IsEmpty());
  // The same header change at a modest size still opens: the refusals above
  // come from the limits, not from the editing.
  EXPECT_EQ(
      codec.OpenRead(MakeFile("modest.jpg", WithSize("progressive.jpg", 64, 48)).c_str(), image),
      1);
  EXPECT_EQ(codec.Read(), 1);
  EXPECT_EQ(image.Width(), 64);
}

TEST_F(JpegCodecTest, ReadWithoutASuccessfulOpenFailsAndReadRunsOnlyOnce) {
  RasterImage image;
  JpegCodec codec;
  EXPECT_EQ(codec.Read(), 0);
  ASSERT_EQ(codec.OpenRead(TestPicture("grey.jpg").c_str(), image), 1);
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_EQ(codec.Read(), 0);
  // A refused open after a good one leaves nothing to read either.
  ASSERT_EQ(codec.OpenRead(TestPicture("grey.jpg").c_str(), image), 1);
  EXPECT_EQ(codec.OpenRead(TestPicture("source.png").c_str(), image), 0);
  EXPECT_EQ(codec.Read(), 0);
}

TEST_F(JpegCodecTest, EveryPathReleasesTheSourceFile) {
  // Windows refuses to rename a file that is still open, so a leaked handle
  // shows up there as a failed rename.
  const Bytes baseline = ReadBytes(TestPicture("baseline.jpg"));
  // SOI and the start of the JFIF segment: a header the library cannot read.
  const Bytes cutHeader(baseline.begin(), baseline.begin() + 20);
  RasterImage image;
  std::error_code error;
  {
    JpegCodec codec;
    const std::string path = MakeFile("read.jpg", baseline);
    ASSERT_EQ(codec.OpenRead(path.c_str(), image), 1);
    ASSERT_EQ(codec.Read(), 1);
    fs::rename(path, FilePath("read-moved.jpg"), error);
    EXPECT_FALSE(error) << "after a complete read";
  }
  {
    JpegCodec codec;
    const std::string path = MakeFile("refused.jpg", cutHeader);
    ASSERT_EQ(codec.OpenRead(path.c_str(), image), 0);
    fs::rename(path, FilePath("refused-moved.jpg"), error);
    EXPECT_FALSE(error) << "after a refused open";
  }
  {
    JpegCodec codec;
    const std::string path = MakeFile("closed.jpg", baseline);
    ASSERT_EQ(codec.OpenRead(path.c_str(), image), 1);
    codec.Close();
    fs::rename(path, FilePath("closed-moved.jpg"), error);
    EXPECT_FALSE(error) << "after Close without reading";
  }
}

TEST_F(JpegCodecTest, ReadReportsEveryRowThenAFinalCall) {
  RasterImage image;
  JpegCodec codec;
  ASSERT_EQ(codec.OpenRead(TestPicture("baseline.jpg").c_str(), image, RecordProgress), 1);
  EXPECT_TRUE(progressCalls.empty()) << "opening reports nothing";
  ASSERT_EQ(codec.Read(), 1);
  ExpectProgressOfAllRows(engine::kProgressReading, 43);
}

TEST_F(JpegCodecTest, ReadThatCannotCreateTheImageFailsWithAFinalReport) {
  RasterImage image;
  JpegCodec codec;
  ASSERT_EQ(codec.OpenRead(TestPicture("progressive.jpg").c_str(), image, RecordProgress), 1);
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(codec.Read(), 0);
  temp.PointAt(temp.PathText());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0].direction, engine::kProgressReading);
  EXPECT_EQ(progressCalls[0].row, 42);
  EXPECT_EQ(progressCalls[0].percent, 100);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(codec.Read(), 0) << "a failed read closes the codec";
}

// ---------------------------------------------------------------- writing

TEST_F(JpegCodecTest, ColourFileIsSequentialBaselineJfifWithTwoByTwoLuminanceSampling) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("photo.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("photo.jpg").c_str(), image, 100, 1, 1, 0), 1);

  const Bytes file = ReadBytes(FilePath("photo.jpg"));
  const std::vector<Segment> segments = ParseSegments(file);
  ASSERT_GE(segments.size(), 3u);
  EXPECT_EQ(segments[1].marker, 0xE0) << "APP0 right after SOI";
  ASSERT_GE(segments[1].payload.size(), 5u);
  EXPECT_EQ(std::string(segments[1].payload.begin(), segments[1].payload.begin() + 5),
            std::string("JFIF\0", 5));
  EXPECT_EQ(segments.back().marker, 0xD9);
  EXPECT_EQ(segments.back().end, file.size());

  for (std::uint8_t frameMarker : {0xC1, 0xC2, 0xC3, 0xC9, 0xCA}) {
    EXPECT_TRUE(SegmentsWith(segments, frameMarker).empty()) << "frame marker " << int(frameMarker);
  }
  const auto frames = SegmentsWith(segments, 0xC0);
  ASSERT_EQ(frames.size(), 1u) << "one baseline frame (SOF0)";
  const Bytes& frame = frames[0].payload;
  EXPECT_EQ(frame[0], 8);
  EXPECT_EQ((frame[1] << 8) | frame[2], 71);
  EXPECT_EQ((frame[3] << 8) | frame[4], 97);
  ASSERT_EQ(frame[5], 3);
  EXPECT_EQ(frame[7], 0x22) << "luminance 2x2";
  EXPECT_EQ(frame[10], 0x11);
  EXPECT_EQ(frame[13], 0x11);

  const auto scans = SegmentsWith(segments, 0xDA);
  ASSERT_EQ(scans.size(), 1u) << "sequential: one interleaved scan";
  EXPECT_EQ(scans[0].payload[0], 3);

  for (const auto& table : QuantTables(segments)) {
    EXPECT_EQ(table.precisionAndId >> 4, 0) << "8-bit tables";
    EXPECT_EQ(table.values, std::vector<int>(64, 1)) << "quality 100";
  }
}

TEST_F(JpegCodecTest, OptimizedCodingReplacesTheStandardHuffmanTables) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("photo.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("optimized.jpg").c_str(), image, 90, 1, 1, 0), 1);
  ASSERT_EQ(codec.Write(FilePath("standard.jpg").c_str(), image, 90, 1, 0, 0), 1);

  const auto optimized = HuffmanTables(ParseSegments(ReadBytes(FilePath("optimized.jpg"))));
  const auto standard = HuffmanTables(ParseSegments(ReadBytes(FilePath("standard.jpg"))));
  ASSERT_EQ(optimized.size(), 4u);
  ASSERT_EQ(standard.size(), 4u);
  for (const auto& table : standard) {
    EXPECT_EQ(table.counts, StandardHuffmanCounts(table.classAndId))
        << "table " << table.classAndId;
  }
  for (const auto& table : optimized) {
    EXPECT_NE(table.counts, StandardHuffmanCounts(table.classAndId))
        << "table " << table.classAndId;
  }
  const auto optimizedSize = fs::file_size(FilePath("optimized.jpg"));
  const auto standardSize = fs::file_size(FilePath("standard.jpg"));
  std::printf("[ figures  ] quality 90: optimized %ld bytes, standard tables %ld bytes\n",
              static_cast<long>(optimizedSize), static_cast<long>(standardSize));
  EXPECT_LT(optimizedSize, standardSize);

  // Same pictures either way.
  RasterImage a;
  RasterImage b;
  ASSERT_EQ(Load(FilePath("optimized.jpg"), a), 1);
  ASSERT_EQ(Load(FilePath("standard.jpg"), b), 1);
  EXPECT_TRUE(ImageBytes(a) == ImageBytes(b));
}

TEST_F(JpegCodecTest, QualityScalesTheStandardTablesWithBaselineLimitsForced) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("q50.jpg").c_str(), image, 50, 1, 1, 0), 1);
  ASSERT_EQ(codec.Write(FilePath("q1.jpg").c_str(), image, 1, 1, 1, 0), 1);

  const auto q50 = QuantTables(ParseSegments(ReadBytes(FilePath("q50.jpg"))));
  ASSERT_GE(q50.size(), 1u);
  EXPECT_EQ(q50[0].precisionAndId, 0x00);
  ASSERT_EQ(q50[0].values.size(), 64u);
  for (int k = 0; k < 64; ++k) {
    EXPECT_EQ(q50[0].values[k], kStandardLuminance[kZigzagToNatural[k]]) << "zigzag " << k;
  }
  // At quality 1 the scaled values (up to 6000) would need 16-bit tables and
  // an extended frame; forced baseline caps them at 255.
  const auto segments = ParseSegments(ReadBytes(FilePath("q1.jpg")));
  EXPECT_EQ(SegmentsWith(segments, 0xC0).size(), 1u);
  EXPECT_TRUE(SegmentsWith(segments, 0xC1).empty());
  for (const auto& table : QuantTables(segments)) {
    EXPECT_EQ(table.precisionAndId >> 4, 0);
    EXPECT_EQ(table.values, std::vector<int>(64, 255));
  }
}

// Largest difference of the grey levels (luma) of two RGB pixel buffers.
int LumaMaxDifference(const Bytes& a, const Bytes& b) {
  int largest = 0;
  for (std::size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
    const int lumaA = (306 * a[i] + 601 * a[i + 1] + 117 * a[i + 2]) >> 10;
    const int lumaB = (306 * b[i] + 601 * b[i + 1] + 117 * b[i + 2]) >> 10;
    largest = std::max(largest, std::abs(lumaA - lumaB));
  }
  return largest;
}

TEST_F(JpegCodecTest, QualityHundredRoundTripStaysWithinTolerance) {
  // What quality 100 still loses: the rounding of the colour transform and of
  // the DCT, and half the chroma resolution (2x2 sampling). The printed
  // figures are the measured ones; the bounds leave a margin over them.
  {
    // A smooth photograph-like picture (measured: max 9, 43.5 dB).
    const Pnm photo = ReadPnm(TestPicture("photo.ppm"));
    RasterImage image;
    FillFromPnm(photo, image);
    JpegCodec codec;
    ASSERT_EQ(codec.Write(FilePath("photo100.jpg").c_str(), image, 100, 1, 1, 0), 1);
    RasterImage back;
    ASSERT_EQ(Load(FilePath("photo100.jpg"), back), 1);
    ASSERT_EQ(back.BitsPerPixel(), 24);
    const Difference difference = Compare(photo.pixels, ImageBytes(back));
    std::printf("[ figures  ] photo, quality 100 colour: max difference %d, PSNR %.2f dB\n",
                difference.maxAbs, difference.psnr);
    EXPECT_LE(difference.maxAbs, 16);
    EXPECT_GE(difference.psnr, 40.0);
  }
  {
    // Sharp edges between saturated colours: the halved chroma smears colour
    // across them (measured: max 121 in a channel), but luma keeps full
    // resolution and stays close (measured: 2).
    const Pnm edges = ReadPnm(TestPicture("source.ppm"));
    RasterImage image;
    FillFromPnm(edges, image);
    JpegCodec codec;
    ASSERT_EQ(codec.Write(FilePath("edges100.jpg").c_str(), image, 100, 1, 1, 0), 1);
    RasterImage back;
    ASSERT_EQ(Load(FilePath("edges100.jpg"), back), 1);
    const Difference difference = Compare(edges.pixels, ImageBytes(back));
    const int luma = LumaMaxDifference(edges.pixels, ImageBytes(back));
    std::printf(
        "[ figures  ] sharp colour edges, quality 100 colour: max difference %d, PSNR %.2f dB, "
        "luma max difference %d\n",
        difference.maxAbs, difference.psnr, luma);
    EXPECT_LE(luma, 4);
  }
  {
    // One component keeps full resolution: only rounding is left (measured: 1).
    RasterImage grey;
    FillFromPnm(ReadPnm(TestPicture("source.pgm")), grey);
    JpegCodec codec;
    ASSERT_EQ(codec.Write(FilePath("grey100.jpg").c_str(), grey, 100, 0, 1, 0), 1);
    RasterImage back;
    ASSERT_EQ(Load(FilePath("grey100.jpg"), back), 1);
    const Difference difference = Compare(ImageBytes(grey), ImageBytes(back));
    std::printf("[ figures  ] grey, quality 100: max difference %d, PSNR %.2f dB\n",
                difference.maxAbs, difference.psnr);
    EXPECT_LE(difference.maxAbs, 2);
  }
}

// An image of 8x8 blocks, each of one value: at quality 100 a flat block
// survives the DCT exactly, so what the writer fed the encoder comes back.
constexpr int kBlocksAcross = 6;
constexpr int kBlocksDown = 2;
constexpr int kBlock = 8;

template <typename Fill>
void MakeBlocks(RasterImage& image, int bits, int paletteSize, Fill fill) {
  ASSERT_EQ(image.Create(kBlocksAcross * kBlock, kBlocksDown * kBlock, bits, paletteSize), 1);
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      fill(image.Row(y) + x * image.BytesPerPixel(), (y / kBlock) * kBlocksAcross + x / kBlock);
    }
  }
}

const std::uint8_t kBlockColours[kBlocksAcross * kBlocksDown][3] = {
    {255, 0, 0},  {0, 255, 0},   {0, 0, 255},     {255, 255, 255}, {0, 0, 0},     {200, 100, 50},
    {17, 34, 51}, {250, 5, 128}, {128, 128, 128}, {90, 200, 10},   {3, 250, 251}, {60, 60, 200}};

int ExpectedGrey(const std::uint8_t* rgb) {
  return (306 * rgb[0] + 601 * rgb[1] + 117 * rgb[2]) >> 10;
}

void ExpectBlockValues(const RasterImage& back, const std::vector<int>& expected) {
  ASSERT_EQ(back.BitsPerPixel(), 8);
  for (int y = 0; y < back.Height(); ++y) {
    for (int x = 0; x < back.Width(); ++x) {
      const int block = (y / kBlock) * kBlocksAcross + x / kBlock;
      ASSERT_EQ(back.Row(y)[x], expected[block]) << "pixel " << x << "," << y;
    }
  }
}

int ComponentsOf(const std::string& path) {
  const auto frames = SegmentsWith(ParseSegments(ReadBytes(path)), 0xC0);
  return frames.size() == 1 ? frames[0].payload[5] : -1;
}

TEST_F(JpegCodecTest, GreyFileFromColourHoldsTheWeightedSumOfEachPixel) {
  RasterImage image;
  MakeBlocks(image, 24, 0,
             [](std::uint8_t* pixel, int block) { std::memcpy(pixel, kBlockColours[block], 3); });
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("grey.jpg").c_str(), image, 100, 0, 1, 0), 1);
  EXPECT_EQ(ComponentsOf(FilePath("grey.jpg")), 1);

  RasterImage back;
  ASSERT_EQ(codec.OpenRead(FilePath("grey.jpg").c_str(), back), 1);
  EXPECT_EQ(codec.Variant(), SourceVariant::JpegGrey);
  ASSERT_EQ(codec.Read(), 1);
  std::vector<int> expected;
  for (const auto& colour : kBlockColours) expected.push_back(ExpectedGrey(colour));
  ExpectBlockValues(back, expected);
}

TEST_F(JpegCodecTest, GreyFileFromPalettedImageHoldsThePaletteGreysNotTheIndices) {
  RasterImage image;
  MakeBlocks(image, 8, 12, [](std::uint8_t* pixel, int block) {
    *pixel = static_cast<std::uint8_t>(11 - block);
  });
  for (int i = 0; i < 12; ++i) {
    image.PaletteEntries()[i] =
        PaletteEntry{kBlockColours[i][0], kBlockColours[i][1], kBlockColours[i][2], 0, 0};
  }
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("paletted.jpg").c_str(), image, 100, 0, 1, 0), 1);
  EXPECT_EQ(ComponentsOf(FilePath("paletted.jpg")), 1);
  RasterImage back;
  ASSERT_EQ(Load(FilePath("paletted.jpg"), back), 1);
  std::vector<int> expected;
  for (int block = 0; block < 12; ++block)
    expected.push_back(ExpectedGrey(kBlockColours[11 - block]));
  ExpectBlockValues(back, expected);
}

TEST_F(JpegCodecTest, ColourFileFromGreyImageRepeatsTheGreyInEveryChannel) {
  // Grey input gives chroma of exactly 128, so red, green and blue decode equal.
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.pgm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("colour.jpg").c_str(), image, 100, 1, 1, 0), 1);
  EXPECT_EQ(ComponentsOf(FilePath("colour.jpg")), 3);
  RasterImage back;
  ASSERT_EQ(Load(FilePath("colour.jpg"), back), 1);
  ASSERT_EQ(back.BitsPerPixel(), 24);
  int maxDifference = 0;
  for (int y = 0; y < back.Height(); ++y) {
    for (int x = 0; x < back.Width(); ++x) {
      const std::uint8_t* rgb = back.Row(y) + 3 * x;
      ASSERT_EQ(rgb[0], rgb[1]) << x << "," << y;
      ASSERT_EQ(rgb[1], rgb[2]) << x << "," << y;
      maxDifference = std::max(maxDifference, std::abs(int(rgb[0]) - int(image.Row(y)[x])));
    }
  }
  EXPECT_LE(maxDifference, 2);

  // Flat blocks come back exactly.
  RasterImage blocks;
  MakeBlocks(blocks, 8, 0, [](std::uint8_t* pixel, int block) {
    *pixel = static_cast<std::uint8_t>(block * 21 + 3);
  });
  ASSERT_EQ(codec.Write(FilePath("blocks.jpg").c_str(), blocks, 100, 1, 1, 0), 1);
  ASSERT_EQ(Load(FilePath("blocks.jpg"), back), 1);
  RasterImage backGrey;
  ASSERT_EQ(back.ConvertTo(backGrey, 8, 0), 1);
  std::vector<int> expected;
  for (int block = 0; block < 12; ++block) expected.push_back(block * 21 + 3);
  ExpectBlockValues(backGrey, expected);
}

TEST_F(JpegCodecTest, ColourFileFromOtherLayoutsCarriesTheirColours) {
  // 16-bit words and 32-bit alpha-first pixels are converted to RGB first.
  RasterImage words;
  MakeBlocks(words, 16, 0, [](std::uint8_t* pixel, int block) {
    const std::uint16_t word = engine::PackRgb16(kBlockColours[block][0], kBlockColours[block][1],
                                                 kBlockColours[block][2]);
    pixel[0] = static_cast<std::uint8_t>(word);
    pixel[1] = static_cast<std::uint8_t>(word >> 8);
  });
  RasterImage argb;
  MakeBlocks(argb, 32, 0, [](std::uint8_t* pixel, int block) {
    pixel[0] = 7;  // alpha is dropped
    std::memcpy(pixel + 1, kBlockColours[block], 3);
  });
  JpegCodec codec;
  for (const RasterImage* image : {&words, &argb}) {
    SCOPED_TRACE(image->BitsPerPixel());
    ASSERT_EQ(codec.Write(FilePath("layout.jpg").c_str(), *image, 100, 1, 1, 0), 1);
    RasterImage back;
    ASSERT_EQ(Load(FilePath("layout.jpg"), back), 1);
    ASSERT_EQ(back.BitsPerPixel(), 24);
    // Block centres, away from the chroma blending at block edges; only the
    // rounding of the colour transform is left there (measured: 1).
    for (int block = 0; block < 12; ++block) {
      const int x = (block % kBlocksAcross) * kBlock + 4;
      const int y = (block / kBlocksAcross) * kBlock + 4;
      for (int c = 0; c < 3; ++c) {
        const int expected = image->BitsPerPixel() == 16 ? (kBlockColours[block][c] & 0xF8)
                                                         : kBlockColours[block][c];
        EXPECT_NEAR(back.Row(y)[3 * x + c], expected, 2) << "block " << block << " channel " << c;
      }
    }
  }
}

TEST_F(JpegCodecTest, ColourWriteOfATwentyFourBitImageNeedsNoConversion) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("photo.ppm")), image);
  watchedFolder = temp.PathText();
  JpegCodec codec;
  mostBackingFiles = 0;
  ASSERT_EQ(codec.Write(FilePath("direct.jpg").c_str(), image, 100, 1, 1, 0, CountBackingFiles), 1);
  EXPECT_EQ(mostBackingFiles, 1u) << "only the source image's own storage";
  mostBackingFiles = 0;
  ASSERT_EQ(codec.Write(FilePath("grey.jpg").c_str(), image, 100, 0, 1, 0, CountBackingFiles), 1);
  EXPECT_EQ(mostBackingFiles, 2u) << "a converted grey copy while writing";
  EXPECT_EQ(temp.Entries().size(), 1u) << "the converted copy is gone afterwards";
}

TEST_F(JpegCodecTest, SmoothingChangesTheFileAndIsCappedAtOneHundred) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("photo.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("s0.jpg").c_str(), image, 90, 1, 1, 0), 1);
  ASSERT_EQ(codec.Write(FilePath("s100.jpg").c_str(), image, 90, 1, 1, 100), 1);
  ASSERT_EQ(codec.Write(FilePath("s500.jpg").c_str(), image, 90, 1, 1, 500), 1);
  EXPECT_NE(ReadBytes(FilePath("s0.jpg")), ReadBytes(FilePath("s100.jpg")));
  EXPECT_EQ(ReadBytes(FilePath("s100.jpg")), ReadBytes(FilePath("s500.jpg")));
}

TEST_F(JpegCodecTest, WriteReportsEveryRowThenAFinalCall) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(FilePath("progress.jpg").c_str(), image, 80, 1, 1, 0, RecordProgress), 1);
  ExpectProgressOfAllRows(engine::kProgressWriting, 43);
}

TEST_F(JpegCodecTest, WriteIntoAMissingFolderFailsLeavingNothingAndReportsOnce) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), image);
  JpegCodec codec;
  const std::string destination = (files.File("missing") / "x.jpg").string();
  EXPECT_EQ(codec.Write(destination.c_str(), image, 100, 1, 1, 0, RecordProgress), 0);
  EXPECT_FALSE(fs::exists(files.File("missing")));
  EXPECT_TRUE(files.Entries().empty());
  ASSERT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0].direction, engine::kProgressWriting);
  EXPECT_EQ(progressCalls[0].row, 42);
  EXPECT_EQ(progressCalls[0].percent, 100);
}

TEST_F(JpegCodecTest, FailedWritesLeaveAnEarlierFileUntouched) {
  const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  const std::string destination = MakeFile("kept.jpg", earlier);
  RasterImage colour;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), colour);
  JpegCodec codec;

  // An empty image.
  RasterImage empty;
  EXPECT_EQ(codec.Write(destination.c_str(), empty, 100, 1, 1, 0, RecordProgress), 0);
  EXPECT_EQ(progressCalls.size(), 1u) << "a final report even then";

  // A grey file from a colour image when no storage can be had for the grey copy.
  temp.PointAt((temp.Path() / "missing").string());
  EXPECT_EQ(codec.Write(destination.c_str(), colour, 100, 0, 1, 0), 0);
  temp.PointAt(temp.PathText());

  // Wider than the 65500 columns a JPEG file can declare: the library fails
  // after the output file was begun.
  RasterImage wide;
  ASSERT_EQ(wide.Create(70000, 1, 24, 0), 1);
  EXPECT_EQ(codec.Write(destination.c_str(), wide, 100, 1, 1, 0), 0);

  EXPECT_EQ(ReadBytes(destination), earlier);
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"kept.jpg"}) << "no partial file is left";
}

TEST_F(JpegCodecTest, WritingOntoAFolderFailsAndLeavesItAlone) {
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), image);
  const std::string destination = FilePath("folder.jpg");
  fs::create_directory(destination);
  JpegCodec codec;
  EXPECT_EQ(codec.Write(destination.c_str(), image, 100, 1, 1, 0), 0);
  EXPECT_TRUE(fs::is_directory(destination));
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"folder.jpg"});
}

TEST_F(JpegCodecTest, SuccessfulWriteReplacesAnEarlierFile) {
  const std::string destination = MakeFile("replaced.jpg", {'o', 'l', 'd'});
  RasterImage image;
  FillFromPnm(ReadPnm(TestPicture("source.ppm")), image);
  JpegCodec codec;
  ASSERT_EQ(codec.Write(destination.c_str(), image, 75, 1, 1, 0), 1);
  RasterImage back;
  ASSERT_EQ(Load(destination, back), 1);
  EXPECT_EQ(back.Width(), 61);
  EXPECT_EQ(files.Entries(), std::vector<std::string>{"replaced.jpg"});
}

}  // namespace
}  // namespace engine_test
