// The thin layer between PngCodec and libpng. libpng reports fatal errors by
// longjmp, so every library call that can fail runs inside one C-style
// function of png_library.cpp that arms the jump point, and turns the jump
// into a 0 result. What must outlive a jump lives in the heap states below.
// After the first failure a state only answers 0 until it is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace engine {
namespace png_library {

// Bits of a PNG colour type byte.
constexpr int kColourTypePaletteBit = 1;
constexpr int kColourTypeColourBit = 2;
constexpr int kColourTypeAlphaBit = 4;
constexpr int kColourTypeGrey = 0;
constexpr int kColourTypeRgb = 2;
constexpr int kColourTypePalette = 3;
constexpr int kColourTypeRgbAlpha = 6;

constexpr int kMaxPaletteEntries = 256;

struct RgbTriple {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// What a file says before its image data.
struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = 0;
  int colourType = 0;
  int interlaceMethod = 0;
  int compressionMethod = 0;
  int filterMethod = 0;
  int paletteCount = 0;  // PLTE entries, 0 without a PLTE chunk
  RgbTriple palette[kMaxPaletteEntries] = {};
  bool hasTransparency = false;  // a tRNS chunk
  bool hasSrgb = false;
  bool hasGamma = false;            // a usable gAMA value (or the one of sRGB)
  std::int32_t fileGammaFixed = 0;  // that value, fixed point
};

// Transformations asked of the library before the rows are read.
struct ReadTransforms {
  bool unpackSamples = false;     // one byte per sample below 8 bits
  bool expandGreyToByte = false;  // grey 1, 2, 4 bits scaled to 0..255
  // Palette indices to their colours, grey below 8 bits to bytes, and a
  // tRNS chunk to an alpha sample.
  bool expandToAlpha = false;
  bool greyToRgb = false;             // grey samples repeated as red, green, blue
  bool scale16To8 = false;            // 16-bit samples to 8 bits, rounded
  bool alphaFirst = false;            // alpha before colour
  bool correctGamma = false;          // apply the two gammas below
  std::int32_t screenGammaFixed = 0;  // gammas in libpng's fixed point (x 100000)
  std::int32_t fileGammaFixed = 0;
};

struct PngReadState;
struct PngWriteState;

struct ReadStateDeleter {
  void operator()(PngReadState* state) const;
};
struct WriteStateDeleter {
  void operator()(PngWriteState* state) const;
};
using ReadStateHandle = std::unique_ptr<PngReadState, ReadStateDeleter>;
using WriteStateHandle = std::unique_ptr<PngWriteState, WriteStateDeleter>;

// Reading. The file stays owned by the caller and must outlive the state.
// Creates the library's read and info structures reading through `file`;
// empty on failure.
ReadStateHandle CreateReader(std::FILE* file);
// Reads the signature and every chunk up to the image data.
int ReadHeader(PngReadState* state, PngHeader* header);
// Applies the transformations and turns on interlace handling. passes: 7
// for Adam7 files, else 1; rowBytes: bytes the library will put in one row.
int StartRows(PngReadState* state, const ReadTransforms& transforms, int* passes,
              std::size_t* rowBytes);
// Reads the next row of the current pass into row (rowBytes long).
int ReadRow(PngReadState* state, std::uint8_t* row);
// Reads what follows the image data, up to the end chunk.
int ReadEnd(PngReadState* state);

// Writing.
struct WriteHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int colourType = 0;
  const RgbTriple* palette = nullptr;  // colour type 3 only
  int paletteCount = 0;
  bool alphaFirst = false;  // rows hold alpha before colour
};

WriteStateHandle CreateWriter(std::FILE* file);
// Writes signature and header chunks (8 bits per sample, Adam7 interlaced,
// PLTE for colour type 3) and turns on interlace handling (passes: 7).
int WriteInfo(PngWriteState* state, const WriteHeader& header, int* passes);
// Writes the next row of the current pass; the row is not changed.
int WriteRow(PngWriteState* state, const std::uint8_t* row);
// Writes the end chunk and flushes the file.
int WriteEnd(PngWriteState* state);

}  // namespace png_library
}  // namespace engine
