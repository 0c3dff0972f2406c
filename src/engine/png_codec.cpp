// PNG (Portable Network Graphics, ISO/IEC 15948) reading and writing: the
// format decisions. The libpng calls themselves are in png_library.cpp.
#include "engine/png_codec.h"

#include <cstdio>
#include <cstring>

#include "base/file_open.h"
#include "engine/byte_cursor.h"
#include "engine/mapped_file.h"

namespace engine {

namespace {

using png_library::kColourTypeAlphaBit;
using png_library::kColourTypeColourBit;
using png_library::kColourTypePalette;
using png_library::kColourTypeRgb;
using png_library::kColourTypeRgbAlpha;
using png_library::kMaxPaletteEntries;

constexpr int kMaxSampleBits = 16;

// Gammas of the reader, fixed point: pictures are shown on a display of
// gamma 2.2; a file without a usable gAMA chunk, or with an sRGB chunk, is
// taken as encoded for such a display (1 / 2.2), so it is left as it is.
constexpr std::int32_t kDisplayGammaFixed = 220000;
constexpr std::int32_t kDefaultFileGammaFixed = 45455;

// Deflate turns one compressed byte into at most 1032 bytes, so a file
// cannot hold more sample bits than 8 x 1032 per byte of its length. A
// header that claims more is damaged; refusing it keeps a tiny file from
// making the reader create a huge image.
constexpr std::int64_t kMaxInflateRatio = 1032;

int SamplesPerPixel(int colourType) {
  switch (colourType) {
    case kColourTypeRgb:
      return 3;
    case png_library::kColourTypeGrey | kColourTypeAlphaBit:
      return 2;
    case kColourTypeRgbAlpha:
      return 4;
    default:  // grey, palette
      return 1;
  }
}

// Length of an open file, or -1; leaves the position at the start.
std::int64_t LengthOf(std::FILE* stream) {
  std::int64_t length = -1;
#ifdef _WIN32
  if (_fseeki64(stream, 0, SEEK_END) == 0) length = _ftelli64(stream);
#else
  if (fseeko(stream, 0, SEEK_END) == 0) length = static_cast<std::int64_t>(ftello(stream));
#endif
  std::rewind(stream);
  return length;
}

}  // namespace

int PngCodec::OpenRead(const char* sourcePath, RasterImage& image, ProgressCallback progress) {
  Close();
  if (sourcePath == nullptr || *sourcePath == '\0') return 0;
  file.reset(OpenFileStream(sourcePath, "rb"));
  if (!file) return 0;
  fileSize = LengthOf(file.get());
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    Close();
    return 0;
  }
  readState = png_library::CreateReader(file.get());
  reading = true;
  if (!readState || !png_library::ReadHeader(readState.get(), &header)) {
    Close();
    return 0;
  }
  if (header.bitDepth > kMaxSampleBits || header.width < 1 || header.height < 1 ||
      header.width > 0x7FFFFFFFu || header.height > 0x7FFFFFFFu) {
    Close();
    return 0;
  }

  // Opaque pictures keep the smallest layout (8-bit grey, 8-bit palette, 24
  // bits); an alpha channel or a transparent colour makes 32 bits, which the
  // loader flattens over white.
  const bool colour = (header.colourType & kColourTypeColourBit) != 0;
  const bool alpha = (header.colourType & kColourTypeAlphaBit) != 0 || header.hasTransparency;
  if (header.colourType == kColourTypePalette) {
    bitsPerPixel = alpha ? 32 : 8;
    paletteSize = alpha ? 0 : header.paletteCount;
    variant = SourceVariant::PngPalette;
  } else if (colour) {
    bitsPerPixel = alpha ? 32 : 24;
    variant = (header.colourType & kColourTypeAlphaBit) != 0 ? SourceVariant::PngRgbAlpha
                                                             : SourceVariant::PngRgb;
  } else {
    bitsPerPixel = alpha ? 32 : 8;
    variant = SourceVariant::PngGrey;
  }

  callback = progress;
  path = sourcePath;
  targetImage = &image;
  pictureWidth = static_cast<std::int32_t>(header.width);
  pictureHeight = static_cast<std::int32_t>(header.height);
  return 1;
}

int PngCodec::Read() {
  if (!reading || !readState || targetImage == nullptr) {
    Close();
    return 0;
  }
  RasterImage& image = *targetImage;

  const std::int64_t pixels = static_cast<std::int64_t>(pictureWidth) * pictureHeight;
  if (pixels > kMaxMappedBytes || pixels * (bitsPerPixel / 8) > kMaxMappedBytes) return FailRead();
  const std::int64_t sampleBits = pixels * header.bitDepth * SamplesPerPixel(header.colourType);
  if (fileSize >= 0 && sampleBits > 8 * kMaxInflateRatio * fileSize) return FailRead();

  const bool paletted = header.colourType == kColourTypePalette;
  if (paletted && (header.paletteCount < 1 || header.paletteCount > kMaxPaletteEntries)) {
    return FailRead();
  }

  const bool sameLayout = !image.IsEmpty() && image.Width() == pictureWidth &&
                          image.Height() == pictureHeight && image.BitsPerPixel() == bitsPerPixel &&
                          image.PaletteSize() == paletteSize;
  if (!sameLayout && !image.Create(pictureWidth, pictureHeight, bitsPerPixel, paletteSize)) {
    return FailRead();
  }
  // Copied before the library sets up its transformations: the palette
  // keeps the file's colours (gamma correction, when it happens, changes
  // only the library's own copy).
  if (paletteSize > 0) {
    PaletteEntry* entries = image.PaletteEntries();
    for (std::int32_t i = 0; i < paletteSize; ++i) {
      entries[i].red = header.palette[i].red;
      entries[i].green = header.palette[i].green;
      entries[i].blue = header.palette[i].blue;
    }
  }

  const bool colour = (header.colourType & kColourTypeColourBit) != 0;
  const bool withAlpha = bitsPerPixel == 32;
  png_library::ReadTransforms transforms;
  if (withAlpha) {
    // Everything with alpha becomes alpha, red, green, blue at 8 bits.
    transforms.expandToAlpha = true;
    transforms.greyToRgb = !colour;
  } else {
    // Grey and palette files become one byte per pixel: grey samples below
    // 8 bits are scaled up, palette indices unpacked.
    transforms.unpackSamples = header.bitDepth < 8;
    transforms.expandGreyToByte = !colour && header.bitDepth < 8;
  }
  transforms.scale16To8 = header.bitDepth == 16;
  transforms.alphaFirst = true;
  // Paletted files keep their stored colours whatever their gamma, also when
  // their transparency makes them 32-bit.
  transforms.correctGamma = !paletted;
  transforms.screenGammaFixed = kDisplayGammaFixed;
  transforms.fileGammaFixed = header.hasSrgb    ? kDefaultFileGammaFixed
                              : header.hasGamma ? header.fileGammaFixed
                                                : kDefaultFileGammaFixed;

  int passes = 0;
  std::size_t rowBytes = 0;
  if (!png_library::StartRows(readState.get(), transforms, &passes, &rowBytes)) return FailRead();
  if (rowBytes != static_cast<std::size_t>(image.Stride())) return FailRead();

  for (int pass = 0; pass < passes; ++pass) {
    for (std::int32_t row = 0; row < pictureHeight; ++row) {
      if (!png_library::ReadRow(readState.get(), image.Row(row))) return FailRead();
      ReportProgress(callback, kProgressReading, row, pictureHeight);
    }
  }
  if (!png_library::ReadEnd(readState.get())) return FailRead();

  ReportProgress(callback, kProgressReading, pictureHeight - 1, pictureHeight);
  Close();
  return 1;
}

int PngCodec::FailRead() {
  ReportProgress(callback, kProgressReading, pictureHeight - 1, pictureHeight);
  Close();
  return 0;
}

int PngCodec::OpenWrite(const char* destination, const RasterImage& image, std::int32_t bits,
                        std::int32_t requestedPaletteSize, ProgressCallback progress) {
  Close();
  SourceVariant written = SourceVariant::None;
  std::int32_t writtenPaletteSize = 0;
  if (bits == 8) {
    if (requestedPaletteSize < 1 || requestedPaletteSize > kMaxPaletteEntries) return 0;
    written = SourceVariant::PngPalette;
    writtenPaletteSize = requestedPaletteSize;
  } else if (bits == 24) {
    written = SourceVariant::PngRgb;
  } else if (bits == 32) {
    written = SourceVariant::PngRgbAlpha;
  } else {
    return 0;
  }
  if (destination == nullptr || *destination == '\0') return 0;
  if (!output.Begin(destination)) return 0;
  file.reset(OpenFileStream(output.TempPath().c_str(), "wb"));
  if (!file) {
    Close();
    return 0;
  }

  variant = written;
  paletteSize = writtenPaletteSize;
  bitsPerPixel = bits;
  callback = progress;
  path = destination;
  sourceImage = &image;
  pictureWidth = image.Width();
  pictureHeight = image.Height();
  writing = true;
  if (pictureWidth < 1 || pictureHeight < 1) {
    Close();
    return 0;
  }
  return 1;
}

int PngCodec::Write() {
  RasterImage converted;  // the source in the written layout, when it differs
  if (!writing || !file || sourceImage == nullptr) {
    Close();
    return 0;
  }
  writeState = png_library::CreateWriter(file.get());
  if (!writeState) return FailWrite(converted);

  const RasterImage* rows = sourceImage;
  if (sourceImage->BitsPerPixel() != bitsPerPixel || sourceImage->PaletteSize() != paletteSize) {
    if (!sourceImage->ConvertTo(converted, bitsPerPixel, paletteSize)) return FailWrite(converted);
    rows = &converted;
  }

  png_library::RgbTriple palette[kMaxPaletteEntries] = {};
  png_library::WriteHeader writeHeader;
  writeHeader.width = static_cast<std::uint32_t>(pictureWidth);
  writeHeader.height = static_cast<std::uint32_t>(pictureHeight);
  if (bitsPerPixel == 8) {
    // A paletted source keeps its own palette (a conversion between two
    // palette layouts is a copy), so the PLTE chunk takes the palette size
    // of the picture actually written, never entries it does not have.
    const std::int32_t count = rows->PaletteSize();
    if (count < 1 || count > kMaxPaletteEntries) return FailWrite(converted);
    const PaletteEntry* entries = rows->PaletteEntries();
    for (std::int32_t i = 0; i < count; ++i) {
      palette[i].red = entries[i].red;
      palette[i].green = entries[i].green;
      palette[i].blue = entries[i].blue;
    }
    writeHeader.colourType = kColourTypePalette;
    writeHeader.palette = palette;
    writeHeader.paletteCount = count;
  } else if (bitsPerPixel == 24) {
    writeHeader.colourType = kColourTypeRgb;
  } else {
    // The library moves alpha behind the colour in its own copy of each row.
    writeHeader.colourType = kColourTypeRgbAlpha;
    writeHeader.alphaFirst = true;
  }

  int passes = 0;
  if (!png_library::WriteInfo(writeState.get(), writeHeader, &passes)) return FailWrite(converted);
  for (int pass = 0; pass < passes; ++pass) {
    for (std::int32_t row = 0; row < pictureHeight; ++row) {
      if (!png_library::WriteRow(writeState.get(), rows->Row(row))) return FailWrite(converted);
      ReportProgress(callback, kProgressWriting, row, pictureHeight);
    }
  }
  if (!png_library::WriteEnd(writeState.get())) return FailWrite(converted);

  ReportProgress(callback, kProgressWriting, pictureHeight - 1, pictureHeight);
  converted.Release();
  writeState.reset();
  // Only a file that reached the disk whole replaces the destination.
  const bool closed = std::fclose(file.release()) == 0;
  const int committed = closed ? output.Commit() : 0;
  Close();
  return committed;
}

int PngCodec::FailWrite(RasterImage& converted) {
  ReportProgress(callback, kProgressWriting, pictureHeight - 1, pictureHeight);
  converted.Release();
  Close();
  return 0;
}

void PngCodec::Close() {
  // The library state goes before the file it reads or writes.
  readState.reset();
  writeState.reset();
  file.reset();
  output.Discard();
  callback = nullptr;
  reading = false;
  writing = false;
  header = png_library::PngHeader{};
  fileSize = -1;
  path.clear();
  bitsPerPixel = 0;
  variant = SourceVariant::None;
  paletteSize = 0;
  pictureWidth = 0;
  pictureHeight = 0;
  targetImage = nullptr;
  sourceImage = nullptr;
}

bool IsPngWithSixteenBitAlpha(const char* path) {
  // The signature, then the IHDR chunk: length, type, width, height, bit
  // depth, colour type.
  constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  constexpr std::size_t kBitDepthAt = 24;
  constexpr std::size_t kColourTypeAt = 25;
  unsigned char header[kColourTypeAt + 1];
  InputFile file;
  if (path == nullptr || !file.Open(path) || !file.ReadAt(0, header, sizeof header)) return false;
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0 ||
      std::memcmp(header + 12, "IHDR", 4) != 0) {
    return false;
  }
  return header[kBitDepthAt] == kMaxSampleBits &&
         (header[kColourTypeAt] & kColourTypeAlphaBit) != 0;
}

}  // namespace engine
