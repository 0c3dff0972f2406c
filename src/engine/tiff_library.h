// The thin layer of the TIFF codec that calls libtiff. libtiff reports errors
// through message handlers rather than by jumping, so these calls simply
// return their status; every handle opened here has silent handlers of its own.
#pragma once

#include <cstdint>

struct tiff;  // libtiff's TIFF

namespace engine {

// Owns one open libtiff handle. Closing a handle open for writing completes
// the file (libtiff writes the directory then).
class TiffFile {
 public:
  TiffFile() = default;
  ~TiffFile() { Close(); }
  TiffFile(TiffFile&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
  TiffFile& operator=(TiffFile&& other) noexcept;
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;

  // Opens path with libtiff's mode letters ("r" reads the first directory,
  // "wl" creates a little-endian file). Empty when libtiff refuses. Whatever
  // libtiff has to say about this handle is dropped, without touching the
  // process-wide handlers.
  static TiffFile Open(const char* path, const char* mode);

  bool IsOpen() const { return handle != nullptr; }
  struct tiff* Get() const {
    return handle;
  }
  void Close();

 private:
  explicit TiffFile(struct tiff* handle) : handle(handle) {}

  struct tiff* handle = nullptr;
};

// ImageWidth and ImageLength of the current directory; 0 when either is missing.
int ReadImageSize(struct tiff* file, std::uint32_t& width, std::uint32_t& height);

// What the alpha byte of ReadRgbaImage's pixels means.
enum class TiffAlpha {
  None,          // no alpha sample: every alpha byte is 255
  Associated,    // colours are stored multiplied by alpha, and stay so
  Unassociated,  // colours are stored as they are, and stay so
};

// Decodes the current directory through libtiff's RGBA image interface into
// width x height packed pixels (red in bits 0..7, green 8..15, blue 16..23,
// alpha 24..31) in the order the file stores them: the first stored row
// first, whatever the Orientation field says (turning the picture upright is
// left to the caller). Colours keep the alpha association the file declares,
// reported in alpha. 0 when any strip or tile fails to decode (damaged data,
// strips missing for rows the header claims) or the picture cannot be
// decoded at all (for example, its compression is not built into the
// library).
int ReadRgbaImage(struct tiff* file, std::uint32_t width, std::uint32_t height,
                  std::uint32_t* raster, TiffAlpha& alpha);

// Channels of packed RGBA pixels as ReadRgbaImage delivers them.
constexpr std::uint8_t RedOf(std::uint32_t pixel) {
  return static_cast<std::uint8_t>(pixel);
}
constexpr std::uint8_t GreenOf(std::uint32_t pixel) {
  return static_cast<std::uint8_t>(pixel >> 8);
}
constexpr std::uint8_t BlueOf(std::uint32_t pixel) {
  return static_cast<std::uint8_t>(pixel >> 16);
}
constexpr std::uint8_t AlphaOf(std::uint32_t pixel) {
  return static_cast<std::uint8_t>(pixel >> 24);
}

// Layout of an uncompressed picture to write, top row first, 8 bits a sample.
enum class TiffOutputLayout {
  Rgb24,         // three samples a pixel, photometric RGB
  GreyPalette8,  // one sample a pixel, photometric palette with a grey ramp
};

// Sets the fields of a file to write, in this order: ImageLength,
// ImageWidth, PlanarConfiguration (contiguous), SamplesPerPixel,
// BitsPerSample, ColorMap (palette layout only), PhotometricInterpretation,
// Orientation (top left), Compression (none) and RowsPerStrip (the library's
// default strip size). 1, or 0 when libtiff refuses a field.
int SetOutputFields(struct tiff* file, std::uint32_t width, std::uint32_t height,
                    TiffOutputLayout layout);

// Bytes of one row as libtiff packs it for this directory.
std::uint64_t ScanlineSize(struct tiff* file);

// Writes one row; 0 on failure.
int WriteRow(struct tiff* file, void* row, std::uint32_t rowIndex);

// Writes everything still buffered and the directory; 0 on failure.
int FinishFile(struct tiff* file);

}  // namespace engine
