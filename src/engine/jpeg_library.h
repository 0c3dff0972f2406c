// The thin layer between JpegCodec and libjpeg. libjpeg reports fatal errors
// by longjmp, so every library call that can fail runs inside one C-style
// function of jpeg_library.cpp that arms the jump point and turns the jump
// into a 0 result. The library objects live in heap states that survive the
// jump; after the first failure a state only answers 0 until it is destroyed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace engine {
namespace jpeg_library {

// A progressive or multi-scan file is decoded whole when decompression
// starts, and every scan walks the whole coefficient buffer again, so a small
// hostile file repeating scan headers could make that take very long. Real
// encoders write about ten scans; a file with more than this many is refused.
constexpr int kMaxScans = 1000;

// Memory libjpeg may take for its own buffers while decoding (chiefly the
// whole-picture coefficient buffer of progressive files: up to 6 bytes a
// pixel). The library has no backing store, so a file needing more is
// refused. This is a 32-bit program whose picture storage comes on top.
constexpr long kMaxDecoderMemoryBytes = 512L * 1024 * 1024;

// Owns one stdio file.
class StdioFile {
 public:
  StdioFile() = default;
  ~StdioFile() { Close(); }
  StdioFile(const StdioFile&) = delete;
  StdioFile& operator=(const StdioFile&) = delete;

  // Opens path with an fopen mode; 1, or 0 when it cannot be opened.
  int Open(const char* path, const char* mode);
  std::FILE* Get() const { return file; }
  bool IsOpen() const { return file != nullptr; }
  // Closes the file; 0 when buffered output could not be written.
  int Close();

 private:
  std::FILE* file = nullptr;
};

// The picture a header describes, as the decompressor will deliver it with
// the library's default output parameters: full size, colour converted to
// RGB, greyscale kept, CMYK and YCCK as four components.
struct OutputShape {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t components = 0;
};

// What the compressor is asked to write.
struct EncoderSettings {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t components = 0;  // 3: RGB rows, 1: grey rows
  int quality = 0;              // 1..100, standard tables scaled, baseline forced
  bool optimizeCoding = false;  // Huffman tables made for the picture
  int smoothing = 0;            // 0..100
};

struct DecoderState;
struct EncoderState;
struct DecoderStateDeleter {
  void operator()(DecoderState* state) const;
};
struct EncoderStateDeleter {
  void operator()(EncoderState* state) const;
};

// Owns one libjpeg decompressor. The file belongs to the caller and must stay
// open until Destroy.
class Decoder {
 public:
  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Creates the decompressor reading `file` from its current position through
  // the stdio data source, reads the header (an image is required) and
  // reports the default output shape. 1/0.
  int ReadHeader(std::FILE* file, OutputShape& shape);
  // Starts decompression. Files with several scans are decoded whole here,
  // at most kMaxScans scans within kMaxDecoderMemoryBytes. 1/0.
  int Start();
  // Index of the next output row (rows delivered so far).
  std::int32_t NextRow() const;
  // Decodes the next output row into `row` (width x components bytes). 1/0.
  int ReadRow(std::uint8_t* row);
  // Destroys the decompressor without finishing it: whatever follows the
  // last row in the file is never read.
  void Destroy() { state.reset(); }
  bool IsCreated() const { return state != nullptr; }

 private:
  std::unique_ptr<DecoderState, DecoderStateDeleter> state;
};

// Owns one libjpeg compressor. The file belongs to the caller and must stay
// open until Destroy.
class Encoder {
 public:
  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Creates the compressor writing `file` through the stdio destination,
  // applies the defaults (JFIF header, 2x2 luminance sampling for colour,
  // default DCT), the settings, and starts a sequential baseline file with
  // all tables. 1/0.
  int Start(std::FILE* file, const EncoderSettings& settings);
  // Index of the next row to write.
  std::int32_t NextRow() const;
  // Compresses one row (width x components bytes). 1/0.
  int WriteRow(const std::uint8_t* row);
  // Writes the end of the file and flushes the stdio destination. 1/0.
  int Finish();
  void Destroy() { state.reset(); }
  bool IsCreated() const { return state != nullptr; }

 private:
  std::unique_ptr<EncoderState, EncoderStateDeleter> state;
};

}  // namespace jpeg_library
}  // namespace engine
