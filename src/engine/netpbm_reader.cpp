// Netpbm's PBM, PGM and PPM files, plain (P1 to P3) and raw (P4 to P6), as
// the pbm(5), pgm(5) and ppm(5) manual pages of Netpbm lay them out.
#include "engine/netpbm_reader.h"

#include <memory>
#include <new>

namespace engine {

namespace {

constexpr std::uint32_t kLargestMaxval = 65535;
// Header numbers beyond this cannot be a size the engine maps.
constexpr std::uint32_t kLargestHeaderNumber = 0x7FFFFFFF;

constexpr std::uint8_t kBitmapBlack = 0;
constexpr std::uint8_t kBitmapWhite = 255;

bool IsSpace(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(std::uint8_t c) {
  return c >= '0' && c <= '9';
}

// The next character as Netpbm sees it: a comment, from '#' to the end of
// its line, reads as one line end. Netpbm reads the header and plain samples
// this way, so comments may stand wherever white space may, even right
// after a number.
bool NextCharacter(BufferedInput& input, std::uint8_t& c) {
  if (!input.NextByte(c)) return false;
  if (c != '#') return true;
  do {
    if (!input.NextByte(c)) return false;
  } while (c != '\n' && c != '\r');
  c = '\n';
  return true;
}

bool SkipSpace(BufferedInput& input, std::uint8_t& c) {
  do {
    if (!NextCharacter(input, c)) return false;
  } while (IsSpace(c));
  return true;
}

// A decimal number after optional white space, up to largest. The character
// that ends it is taken too; atEnd tells whether the file ended there.
bool ReadDecimal(BufferedInput& input, std::uint32_t largest, std::uint32_t& value, bool& atEnd) {
  std::uint8_t c = 0;
  if (!SkipSpace(input, c) || !IsDigit(c)) return false;
  std::uint64_t number = 0;
  atEnd = false;
  while (IsDigit(c)) {
    number = number * 10 + (c - '0');
    if (number > largest) return false;
    if (!NextCharacter(input, c)) {
      atEnd = true;
      break;
    }
  }
  if (!atEnd && !IsSpace(c)) return false;
  value = static_cast<std::uint32_t>(number);
  return true;
}

std::uint32_t SamplesPerPixel(char kind) {
  return kind == '3' || kind == '6' ? 3 : 1;
}
bool IsPlain(char kind) {
  return kind >= '1' && kind <= '3';
}
bool IsBitmap(char kind) {
  return kind == '1' || kind == '4';
}

}  // namespace

int NetpbmReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !input.Start(file, 0) || !ReadHeader() ||
      !HeaderDataFits()) {
    Close();
    return 0;
  }
  callback = progress;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

bool NetpbmReader::ReadHeader() {
  std::uint8_t magic[2] = {};
  if (!input.Next(magic, 2) || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') return false;
  kind = static_cast<char>(magic[1]);
  std::uint32_t numbers[3] = {0, 0, 1};
  const int count = IsBitmap(kind) ? 2 : 3;
  for (int i = 0; i < count; ++i) {
    bool atEnd = false;
    const std::uint32_t largest = i == 2 ? kLargestMaxval : kLargestHeaderNumber;
    // The character after the last number is the one white space (or the
    // comment) before the raster, which therefore cannot be missing.
    if (!ReadDecimal(input, largest, numbers[i], atEnd) || (atEnd && i == count - 1)) {
      return false;
    }
  }
  width = static_cast<std::int32_t>(numbers[0]);
  height = static_cast<std::int32_t>(numbers[1]);
  maxval = static_cast<std::int32_t>(numbers[2]);
  if (width < 1 || height < 1 || maxval < 1) return false;
  bitsPerPixel = SamplesPerPixel(kind) == 3 ? 24 : 8;
  rasterOffset = input.Offset();
  const std::int64_t imageBytes = static_cast<std::int64_t>(width) * height * (bitsPerPixel / 8);
  return imageBytes <= kMaxMappedBytes;
}

bool NetpbmReader::HeaderDataFits() const {
  const std::int64_t available = file.Size() - rasterOffset;
  const std::int64_t samples = static_cast<std::int64_t>(width) * height * SamplesPerPixel(kind);
  std::int64_t needed = 0;
  if (kind == '1') {
    needed = samples;  // the digits may stand without space between them
  } else if (IsPlain(kind)) {
    needed = 2 * samples - 1;  // a digit and a separator, but for the last
  } else if (kind == '4') {
    needed = (static_cast<std::int64_t>(width) + 7) / 8 * height;
  } else {
    needed = samples * (maxval > 255 ? 2 : 1);
  }
  return needed <= available;
}

int NetpbmReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = DecodeRows();
  ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int NetpbmReader::DecodeRows() {
  RasterImage& image = *targetImage;
  if (!image.Create(width, height, bitsPerPixel, 0)) return 0;
  // Every sample value to 8 bits, rounded.
  std::unique_ptr<std::uint8_t[]> scale(new (std::nothrow) std::uint8_t[maxval + 1]);
  if (!scale) return 0;
  const auto top = static_cast<std::uint32_t>(maxval);
  for (std::uint32_t v = 0; v <= top; ++v) {
    scale[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
  }
  for (std::int32_t row = 0; row < height; ++row) {
    if (!DecodeRow(image.Row(row), scale.get())) return 0;
    ReportProgress(callback, kProgressReading, row, height);
  }
  return 1;
}

bool NetpbmReader::DecodeRow(std::uint8_t* row, std::uint8_t* scale) {
  const auto top = static_cast<std::uint32_t>(maxval);
  const std::int64_t samples = static_cast<std::int64_t>(width) * SamplesPerPixel(kind);
  switch (kind) {
    case '1':
      for (std::int64_t i = 0; i < samples; ++i) {
        std::uint8_t c = 0;
        if (!SkipSpace(input, c) || (c != '0' && c != '1')) return false;
        row[i] = c == '1' ? kBitmapBlack : kBitmapWhite;
      }
      return true;
    case '2':
    case '3':
      for (std::int64_t i = 0; i < samples; ++i) {
        std::uint32_t value = 0;
        bool atEnd = false;
        if (!ReadDecimal(input, top, value, atEnd)) return false;
        row[i] = scale[value];
      }
      return true;
    case '4':
      for (std::int64_t x = 0; x < samples; x += 8) {
        std::uint8_t bits = 0;
        if (!input.NextByte(bits)) return false;
        for (std::int64_t bit = 0; bit < 8 && x + bit < samples; ++bit) {
          row[x + bit] = (bits & (0x80 >> bit)) != 0 ? kBitmapBlack : kBitmapWhite;
        }
      }
      return true;
    default:
      for (std::int64_t i = 0; i < samples; ++i) {
        std::uint8_t bytes[2] = {};
        std::uint32_t value = 0;
        if (top > 255) {
          if (!input.Next(bytes, 2)) return false;
          value = static_cast<std::uint32_t>(bytes[0]) << 8 | bytes[1];
        } else {
          if (!input.NextByte(bytes[0])) return false;
          value = bytes[0];
        }
        if (value > top) return false;
        row[i] = scale[value];
      }
      return true;
  }
}

void NetpbmReader::Close() {
  file.Close();
  callback = nullptr;
  readyToRead = false;
  kind = 0;
  width = 0;
  height = 0;
  maxval = 0;
  bitsPerPixel = 0;
  rasterOffset = 0;
  targetImage = nullptr;
}

}  // namespace engine
