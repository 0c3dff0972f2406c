// The orientation parser on files exiftool and tiffset marked
// (tests/testdata/make_orientation.sh), and on EXIF and TIFF structures
// assembled here byte by byte, well-formed and damaged: whatever the damage,
// the answer is 1 and nothing is read outside the bytes given (the native-asan
// tree runs these too).
#include "base/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

namespace engine {
namespace {

using engine_test::Bytes;
using engine_test::ReadBytes;

std::string OrientationPicture(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/orientation/" + name;
}

// ------------------------------------------------ assembling structures

struct Entry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  std::uint32_t value;  // SHORT values sit in the field's first two bytes
};

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

void Put(Bytes& bytes, std::uint64_t value, int count, bool bigEndian) {
  for (int i = 0; i < count; ++i) {
    const int shift = 8 * (bigEndian ? count - 1 - i : i);
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

struct Structure {
  bool bigEndian = true;
  std::vector<Entry> entries;
  std::uint32_t directoryOffset = 8;
  std::uint32_t nextDirectory = 0;
  std::int64_t declaredEntries = -1;  // -1: the real number
};

// A classic TIFF structure: header, then (at directoryOffset) one directory.
Bytes Tiff(const Structure& s) {
  Bytes bytes;
  bytes.push_back(s.bigEndian ? 'M' : 'I');
  bytes.push_back(s.bigEndian ? 'M' : 'I');
  Put(bytes, 42, 2, s.bigEndian);
  Put(bytes, s.directoryOffset, 4, s.bigEndian);
  while (bytes.size() < s.directoryOffset && s.directoryOffset < 4096) bytes.push_back(0);
  Put(bytes, s.declaredEntries < 0 ? s.entries.size() : s.declaredEntries, 2, s.bigEndian);
  for (const Entry& e : s.entries) {
    Put(bytes, e.tag, 2, s.bigEndian);
    Put(bytes, e.type, 2, s.bigEndian);
    Put(bytes, e.count, 4, s.bigEndian);
    if (e.type == kShort) {
      Put(bytes, e.value, 2, s.bigEndian);
      Put(bytes, 0, 2, s.bigEndian);
    } else {
      Put(bytes, e.value, 4, s.bigEndian);
    }
  }
  Put(bytes, s.nextDirectory, 4, s.bigEndian);
  return bytes;
}

Structure Oriented(int value, bool bigEndian = true) {
  Structure s;
  s.bigEndian = bigEndian;
  s.entries = {{0x0100, kLong, 1, 48},
               {kOrientation, kShort, 1, static_cast<std::uint32_t>(value)},
               {0x011A, 5, 1, 200}};
  return s;
}

Bytes Exif(const Bytes& tiff) {
  Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return payload;
}

struct Segment {
  std::uint8_t marker;
  Bytes payload;
  std::int64_t declaredLength = -1;  // -1: payload size + 2
};

// SOI, the segments, a short scan and EOI.
Bytes Jpeg(const std::vector<Segment>& segments, const Bytes& scanData = {1, 2, 3}) {
  Bytes bytes = {0xFF, 0xD8};
  for (const Segment& s : segments) {
    bytes.push_back(0xFF);
    bytes.push_back(s.marker);
    Put(bytes, s.declaredLength < 0 ? s.payload.size() + 2 : s.declaredLength, 2, true);
    bytes.insert(bytes.end(), s.payload.begin(), s.payload.end());
  }
  const Bytes scan = {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0};
  bytes.insert(bytes.end(), scan.begin(), scan.end());
  bytes.insert(bytes.end(), scanData.begin(), scanData.end());
  bytes.push_back(0xFF);
  bytes.push_back(0xD9);
  return bytes;
}

const Segment kJfif{0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}};

int OfJpeg(const Bytes& bytes) {
  return JpegOrientation(bytes.data(), bytes.size());
}

// ------------------------------------------------ files other programs marked

TEST(ExifOrientationTest, JpegFilesMarkedByExiftoolGiveTheirOrientation) {
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const Bytes file = ReadBytes(OrientationPicture("jpeg" + std::to_string(n) + ".jpg"));
    ASSERT_GT(file.size(), 1000u);
    EXPECT_EQ(OfJpeg(file), n);
    // The EXIF segment comes first, so the start of the file is enough.
    EXPECT_EQ(JpegOrientation(file.data(), 600), n);
  }
  EXPECT_EQ(OfJpeg(ReadBytes(OrientationPicture("jpeg6_intel.jpg"))), 6);
  EXPECT_EQ(OfJpeg(ReadBytes(OrientationPicture("plain.jpg"))), 1);
}

TEST(ExifOrientationTest, TiffFilesMarkedByTiffsetGiveTheirOrientation) {
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const Bytes file = ReadBytes(OrientationPicture("tiff" + std::to_string(n) + ".tif"));
    ASSERT_GT(file.size(), 1000u);
    EXPECT_EQ(TiffOrientation(file.data(), file.size()), n);
    EXPECT_EQ(OfJpeg(file), 1) << "a TIFF file is no JPEG";
  }
}

// ------------------------------------------------ assembled structures

TEST(ExifOrientationTest, EveryValueInEitherByteOrderInAJpegAndAsATiffFile) {
  for (const bool bigEndian : {true, false}) {
    for (int n = 1; n <= 8; ++n) {
      SCOPED_TRACE(std::to_string(n) + (bigEndian ? " MM" : " II"));
      const Bytes tiff = Tiff(Oriented(n, bigEndian));
      EXPECT_EQ(OfJpeg(Jpeg({kJfif, {0xE1, Exif(tiff)}})), n);
      EXPECT_EQ(TiffOrientation(tiff.data(), tiff.size()), n);
    }
  }
}

TEST(ExifOrientationTest, MalformedOrMissingTagsGiveUpright) {
  const auto withEntry = [](Entry entry) {
    Structure s = Oriented(6);
    s.entries[1] = entry;
    return s;
  };
  Structure noTag = Oriented(6);
  noTag.entries.erase(noTag.entries.begin() + 1);
  Structure pastEnd = Oriented(6);
  pastEnd.directoryOffset = 0xFFFFFFF0;
  Structure hugeCount = Oriented(6);
  hugeCount.declaredEntries = 0xFFFF;
  Structure moreThanThere = Oriented(6);
  moreThanThere.declaredEntries = 40;
  Structure intoHeader = Oriented(6);
  intoHeader.directoryOffset = 6;  // the count would be the offset's own bytes

  const struct {
    const char* what;
    Structure structure;
  } cases[] = {
      {"no orientation tag", noTag},
      {"LONG instead of SHORT", withEntry({kOrientation, kLong, 1, 6})},
      {"two values", withEntry({kOrientation, kShort, 2, 6})},
      {"huge value count", withEntry({kOrientation, kShort, 0xFFFFFFFF, 6})},
      {"value 0", withEntry({kOrientation, kShort, 1, 0})},
      {"value 9", withEntry({kOrientation, kShort, 1, 9})},
      {"value 0x106", withEntry({kOrientation, kShort, 1, 0x106})},
      {"directory past the end", pastEnd},
      {"entry count 65535", hugeCount},
      {"more entries than bytes", moreThanThere},
      {"directory over the header", intoHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes tiff = Tiff(c.structure);
    EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(tiff)}})), 1);
    EXPECT_EQ(TiffOrientation(tiff.data(), tiff.size()), 1);
  }

  Bytes badMagic = Tiff(Oriented(6));
  badMagic[2] ^= 0x55;
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(badMagic)}})), 1);
  Bytes mixedOrder = Tiff(Oriented(6));
  mixedOrder[0] = 'I';
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(mixedOrder)}})), 1);
}

TEST(ExifOrientationTest, DirectoryLinksAreNeverFollowedSoCyclesEndNothing) {
  Structure selfLinked = Oriented(5);
  selfLinked.nextDirectory = 8;  // points back at itself
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(Tiff(selfLinked))}})), 5);
  selfLinked.entries.erase(selfLinked.entries.begin() + 1);
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(Tiff(selfLinked))}})), 1);
  const Bytes tiff = Tiff(selfLinked);
  EXPECT_EQ(TiffOrientation(tiff.data(), tiff.size()), 1);
}

TEST(ExifOrientationTest, TheExifSegmentsOwnLengthBoundsEveryOffset) {
  const Bytes tiff = Tiff(Oriented(6));
  // The segment says it ends in the middle of the directory; the rest of the
  // directory follows in the file but is no longer EXIF.
  Segment cut{0xE1, Exif(tiff)};
  cut.declaredLength = 2 + 6 + 8 + 2 + 12 + 4;
  EXPECT_EQ(OfJpeg(Jpeg({cut})), 1);
  // A segment longer than the data.
  Segment tooLong{0xE1, Exif(tiff), 0xFFF0};
  EXPECT_EQ(OfJpeg(Jpeg({tooLong})), 1);
  // Lengths below the length field's own two bytes.
  for (const int length : {0, 1}) {
    Segment broken{0xE1, Exif(tiff), length};
    EXPECT_EQ(OfJpeg(Jpeg({broken})), 1) << length;
  }
}

TEST(ExifOrientationTest, EveryPrefixOfAMarkedFileGivesUprightUntilTheExifSegmentIsWhole) {
  const Bytes file = Jpeg({kJfif, {0xE1, Exif(Tiff(Oriented(8)))}});
  const std::size_t exifEnd =
      2 + (2 + 2 + kJfif.payload.size()) + 2 + 2 + 6 + Tiff(Oriented(8)).size();
  for (std::size_t size = 0; size <= file.size(); ++size) {
    ASSERT_EQ(JpegOrientation(file.data(), size), size >= exifEnd ? 8 : 1) << size;
  }
  EXPECT_EQ(JpegOrientation(nullptr, 100), 1);
  EXPECT_EQ(TiffOrientation(nullptr, 100), 1);
}

TEST(ExifOrientationTest, MarkerWalkFindsTheFirstExifSegmentBeforeTheScanOnly) {
  const Bytes six = Exif(Tiff(Oriented(6)));
  const Bytes three = Exif(Tiff(Oriented(3)));
  const Segment xmp{0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'}};
  const Segment icc{0xE2, Bytes(3000, 0x42)};
  Structure none = Oriented(6);
  none.entries.erase(none.entries.begin() + 1);

  EXPECT_EQ(OfJpeg(Jpeg({kJfif, xmp, icc, {0xE1, six}})), 6) << "other APP1 and APPn skipped";
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, six}, {0xE1, three}})), 6) << "the first one decides";
  EXPECT_EQ(OfJpeg(Jpeg({{0xE1, Exif(Tiff(none))}, {0xE1, three}})), 1);
  EXPECT_EQ(OfJpeg(Jpeg({kJfif}, Jpeg({{0xE1, six}}))), 1) << "bytes after SOS are scan data";

  // Fill bytes before a marker, and a marker without length (TEM).
  Bytes filled = {0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xFF, 0xFF};
  const Bytes tail = Jpeg({{0xE1, six}});
  filled.insert(filled.end(), tail.begin() + 3, tail.end());
  EXPECT_EQ(OfJpeg(filled), 6);

  Bytes noSoi = Jpeg({{0xE1, six}});
  noSoi[1] = 0xD9;
  EXPECT_EQ(OfJpeg(noSoi), 1);
  Bytes garbageBetween = Jpeg({kJfif, {0xE1, six}});
  garbageBetween[2 + 4 + kJfif.payload.size()] = 0x00;  // no 0xFF where the APP1 marker starts
  EXPECT_EQ(OfJpeg(garbageBetween), 1);
}

TEST(ExifOrientationTest, BigTiffFilesGiveTheirOrientation) {
  for (const bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian ? "MM" : "II");
    Bytes bytes;
    bytes.push_back(bigEndian ? 'M' : 'I');
    bytes.push_back(bigEndian ? 'M' : 'I');
    Put(bytes, 43, 2, bigEndian);
    Put(bytes, 8, 2, bigEndian);
    Put(bytes, 0, 2, bigEndian);
    Put(bytes, 16, 8, bigEndian);
    Put(bytes, 2, 8, bigEndian);
    for (const auto& [tag, value] : {std::pair<int, int>{0x0100, 48}, {kOrientation, 7}}) {
      Put(bytes, tag, 2, bigEndian);
      Put(bytes, kShort, 2, bigEndian);
      Put(bytes, 1, 8, bigEndian);
      Put(bytes, value, 2, bigEndian);
      Put(bytes, 0, 6, bigEndian);
    }
    Put(bytes, 0, 8, bigEndian);
    EXPECT_EQ(TiffOrientation(bytes.data(), bytes.size()), 7);
    EXPECT_EQ(TiffOrientation(bytes.data(), bytes.size() - 20), 1) << "cut in the directory";
  }
}

}  // namespace
}  // namespace engine
