// The thin layer of the GIF reader that calls giflib. giflib reports errors
// by return values (it never jumps), and reads through a callback, so the
// file stays the engine's own InputFile.
#pragma once

#include <cstdint>

#include "engine/byte_cursor.h"

struct GifFileType;  // giflib's decoder state

namespace engine {

constexpr int kGifMaxColours = 256;

struct GifColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

// The first image of a file as its descriptor and the graphic control
// extension before it declare it.
struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  int transparentIndex = -1;  // -1 when no colour is transparent
  int colourCount = 0;        // of the table that applies (local, else global); 0 = none
  GifColour colours[kGifMaxColours];
};

// Owns one giflib decoder reading an open InputFile from its start.
class GifDecoder {
 public:
  GifDecoder() = default;
  ~GifDecoder() { Close(); }
  // giflib keeps a pointer to the read position held here.
  GifDecoder(const GifDecoder&) = delete;
  GifDecoder& operator=(const GifDecoder&) = delete;

  // Reads the signature ("GIF87a" or "GIF89a"), the logical screen
  // descriptor and the global colour table. 1, or 0 with nothing held.
  int Open(InputFile& file);
  void Close();

  int ScreenWidth() const;
  int ScreenHeight() const;

  // Reads the records up to and including the first image descriptor (and
  // its local colour table), taking the transparent colour from the last
  // graphic control extension before it. 0 when the file ends or a record
  // is damaged before an image starts.
  int ReadFirstFrame(GifFrame& frame);

  // Decodes the next line of the image in the file's order (for interlaced
  // images, the order of the four passes) into width bytes of colour indices.
  // 0 when the data is damaged or ends early.
  int ReadLine(std::uint8_t* line, int width);

 private:
  static int ReadBytes(GifFileType* gif, std::uint8_t* buffer, int count);

  GifFileType* handle = nullptr;
  InputFile* source = nullptr;
  std::int64_t readOffset = 0;
};

}  // namespace engine
