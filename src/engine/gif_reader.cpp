// GIF files (CompuServe's Graphics Interchange Format, 87a and 89a): a
// logical screen, then records up to the first image, whose LZW data giflib
// decodes line by line.
#include "engine/gif_reader.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/mapped_file.h"

namespace engine {

namespace {

// An LZW code of w bits stands for at most 2^w pixels, and w is at most 12,
// so one byte of image data decodes to at most 8 x 4096 / 12 pixels; the
// slack covers a last partial code.
constexpr std::int64_t kMostPixelsPerByte = 8 * 4096 / 12 + 1;
constexpr std::int64_t kPixelSlack = 4096;

// Interlaced images store every 8th row from row 0, every 8th from 4, every
// 4th from 2, then every 2nd from 1.
constexpr int kPasses = 4;
constexpr int kPassStart[kPasses] = {0, 4, 2, 1};
constexpr int kPassStep[kPasses] = {8, 8, 4, 2};

constexpr std::uint8_t kOpaque = 255;

// giflib itself looks at the first three bytes only.
constexpr std::size_t kSignatureBytes = 6;
constexpr char kSignature87[] = "GIF87a";
constexpr char kSignature89[] = "GIF89a";

bool HasSignature(InputFile& file) {
  char signature[kSignatureBytes] = {};
  if (!file.ReadAt(0, signature, kSignatureBytes)) return false;
  return std::equal(signature, signature + kSignatureBytes, kSignature87) ||
         std::equal(signature, signature + kSignatureBytes, kSignature89);
}

// Row of the frame that the line-th decoded line fills.
class LineOrder {
 public:
  LineOrder(bool interlaced, int height) : interlaced(interlaced), height(height) {
    if (interlaced) SkipEmptyPasses();
  }
  int Row() const { return row; }
  void Next() {
    if (!interlaced) {
      ++row;
      return;
    }
    row += kPassStep[pass];
    if (row >= height) {
      ++pass;
      if (pass < kPasses) row = kPassStart[pass];
      SkipEmptyPasses();
    }
  }

 private:
  // Small images leave later passes' start rows past the end.
  void SkipEmptyPasses() {
    while (pass < kPasses && kPassStart[pass] >= height) {
      ++pass;
      if (pass < kPasses) row = kPassStart[pass];
    }
  }

  bool interlaced;
  int height;
  int pass = 0;
  int row = 0;
};

}  // namespace

int GifReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !file.Open(path) || !HasSignature(file) || !decoder.Open(file)) {
    Close();
    return 0;
  }
  screenWidth = decoder.ScreenWidth();
  screenHeight = decoder.ScreenHeight();
  pictureHeight = screenHeight;
  callback = progress;
  sourcePath = path;
  targetImage = &image;
  readyToRead = true;
  return 1;
}

int GifReader::Read() {
  if (!readyToRead) {
    Close();
    return 0;
  }
  const int decoded = Decode(*targetImage);
  const std::int32_t rows = std::max(pictureHeight, 1);
  ReportProgress(callback, kProgressReading, rows - 1, rows);
  Close();
  return decoded;
}

int GifReader::Decode(RasterImage& image) {
  GifFrame frame;
  if (!decoder.ReadFirstFrame(frame)) return 0;
  if (frame.width < 1 || frame.height < 1 || frame.colourCount < 1) return 0;

  // The picture spans the screen and the frame (fields of 16 bits: no overflow).
  const std::int32_t width = std::max(screenWidth, frame.left + frame.width);
  const std::int32_t height = std::max(screenHeight, frame.top + frame.height);
  pictureHeight = height;
  const bool covers =
      frame.left == 0 && frame.top == 0 && frame.width == width && frame.height == height;
  const bool paletted = covers && frame.transparentIndex < 0;
  const std::int32_t bits = paletted ? 8 : 32;

  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels * (bits / 8) > kMaxMappedBytes) return 0;
  if (pixels > file.Size() * kMostPixelsPerByte + kPixelSlack) return 0;
  if (!image.Create(width, height, bits, paletted ? kGifMaxColours : 0)) return 0;

  // Indices past the table are black, as are the palette's unused entries.
  GifColour colours[kGifMaxColours];
  std::copy_n(frame.colours, frame.colourCount, colours);
  if (paletted) {
    PaletteEntry* entries = image.PaletteEntries();
    for (int i = 0; i < kGifMaxColours; ++i) {
      entries[i].red = colours[i].red;
      entries[i].green = colours[i].green;
      entries[i].blue = colours[i].blue;
    }
  }

  // A new image is zero-filled: black and fully transparent where the frame
  // draws nothing.
  std::unique_ptr<std::uint8_t[]> line(new (std::nothrow) std::uint8_t[frame.width]);
  if (!line) return 0;
  LineOrder order(frame.interlaced, frame.height);
  for (int decoded = 0; decoded < frame.height; ++decoded, order.Next()) {
    if (!decoder.ReadLine(line.get(), frame.width)) return 0;
    std::uint8_t* to = image.Row(frame.top + order.Row()) +
                       static_cast<std::ptrdiff_t>(frame.left) * image.BytesPerPixel();
    if (paletted) {
      std::copy_n(line.get(), frame.width, to);
    } else {
      for (int x = 0; x < frame.width; ++x, to += 4) {
        const int index = line[x];
        if (index == frame.transparentIndex) continue;
        to[0] = kOpaque;
        to[1] = colours[index].red;
        to[2] = colours[index].green;
        to[3] = colours[index].blue;
      }
    }
    ReportProgress(callback, kProgressReading, decoded, frame.height);
  }
  return 1;
}

void GifReader::Close() {
  decoder.Close();
  file.Close();
  callback = nullptr;
  readyToRead = false;
  sourcePath.clear();
  screenWidth = 0;
  screenHeight = 0;
  pictureHeight = 0;
  targetImage = nullptr;
}

}  // namespace engine
