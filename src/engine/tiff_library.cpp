// libtiff calls of the TIFF codec (Tag Image File Format, revision 6.0).
#include "engine/tiff_library.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstddef>
#include <memory>

#ifdef _WIN32
#include "base/wide_text_win.h"
#endif

namespace engine {

namespace {

// libtiff asks a handle's own handler first and goes on to the process-wide
// handlers (which print to stderr) only when it returns 0. Answering 1 drops
// the message here, so the conversions of several threads never share or
// replace a global handler.
int DropMessage(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct OpenOptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using OpenOptions = std::unique_ptr<TIFFOpenOptions, OpenOptionsDeleter>;

// Scanlines per strip are chosen by libtiff for a request it cannot meet.
constexpr std::uint32_t kLibraryStripSize = 0xFFFFFFFF;

constexpr int kGreyRampEntries = 256;

// The size of the message buffer libtiff's RGBA image calls write into.
constexpr std::size_t kRgbaMessageBytes = 1024;
// Entries of libtiff's table of alpha-multiplied colours: 256 alphas x 256 colours.
constexpr std::size_t kAlphaColourPairs = 256 * 256;

}  // namespace

TiffFile& TiffFile::operator=(TiffFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle = other.handle;
    other.handle = nullptr;
  }
  return *this;
}

TiffFile TiffFile::Open(const char* path, const char* mode) {
  if (path == nullptr || *path == '\0') return TiffFile();
  OpenOptions options(TIFFOpenOptionsAlloc());
  if (!options) return TiffFile();
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DropMessage, nullptr);
#ifdef _WIN32
  // The path is UTF-8; libtiff's narrow open would read it in the ANSI code
  // page and lose every name outside it.
  return TiffFile(TIFFOpenWExt(WideFromUtf8(path).c_str(), mode, options.get()));
#else
  return TiffFile(TIFFOpenExt(path, mode, options.get()));
#endif
}

void TiffFile::Close() {
  if (handle != nullptr) {
    TIFFClose(handle);
    handle = nullptr;
  }
}

int ReadImageSize(TIFF* file, std::uint32_t& width, std::uint32_t& height) {
  width = 0;
  height = 0;
  std::uint32_t fieldWidth = 0;
  std::uint32_t fieldHeight = 0;
  if (TIFFGetField(file, TIFFTAG_IMAGEWIDTH, &fieldWidth) != 1 ||
      TIFFGetField(file, TIFFTAG_IMAGELENGTH, &fieldHeight) != 1) {
    return 0;
  }
  width = fieldWidth;
  height = fieldHeight;
  return 1;
}

int ReadRgbaImage(TIFF* file, std::uint32_t width, std::uint32_t height, std::uint32_t* raster,
                  TiffAlpha& alpha) {
  alpha = TiffAlpha::None;
  // A strip or tile that fails to decode (damaged data, strips missing for
  // the rows the header claims) fails the picture: otherwise libtiff leaves
  // its rows empty and the damaged file would convert.
  constexpr int kStopOnError = 1;
  char message[kRgbaMessageBytes] = "";
  if (TIFFRGBAImageOK(file, message) != 1) return 0;
  TIFFRGBAImage decoder;
  // A failed begin has released what it took.
  if (TIFFRGBAImageBegin(&decoder, file, kStopOnError, message) != 1) return 0;
  // Asking for the orientation the file declares makes libtiff flip nothing,
  // so the raster holds the rows and columns as stored, first row first.
  decoder.req_orientation = decoder.orientation;
  if (decoder.UaToAa != nullptr) {
    // Unassociated alpha would be multiplied into the colours through this
    // table (alpha in the high byte, colour in the low byte); an identity
    // table keeps the stored colours.
    for (std::size_t index = 0; index < kAlphaColourPairs; ++index) {
      decoder.UaToAa[index] = static_cast<std::uint8_t>(index);
    }
  }
  const int decoded = decoder.width == width && decoder.height == height
                          ? TIFFRGBAImageGet(&decoder, raster, width, height)
                          : 0;
  if (decoder.alpha == EXTRASAMPLE_ASSOCALPHA) alpha = TiffAlpha::Associated;
  if (decoder.alpha == EXTRASAMPLE_UNASSALPHA) alpha = TiffAlpha::Unassociated;
  TIFFRGBAImageEnd(&decoder);
  return decoded == 1 ? 1 : 0;
}

int SetOutputFields(TIFF* file, std::uint32_t width, std::uint32_t height,
                    TiffOutputLayout layout) {
  const bool palette = layout == TiffOutputLayout::GreyPalette8;
  int ok = TIFFSetField(file, TIFFTAG_IMAGELENGTH, height) &&
           TIFFSetField(file, TIFFTAG_IMAGEWIDTH, width) &&
           TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, palette ? 1 : 3) &&
           TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, 8);
  if (ok && palette) {
    // Entry i shows grey level i: 0, 256, ..., 65280 in all three tables.
    std::uint16_t ramp[kGreyRampEntries];
    for (int i = 0; i < kGreyRampEntries; ++i) ramp[i] = static_cast<std::uint16_t>(i * 256);
    ok = TIFFSetField(file, TIFFTAG_COLORMAP, ramp, ramp, ramp);
  }
  ok = ok &&
       TIFFSetField(file, TIFFTAG_PHOTOMETRIC, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB) &&
       TIFFSetField(file, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
       TIFFSetField(file, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
       TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(file, kLibraryStripSize));
  return ok ? 1 : 0;
}

std::uint64_t ScanlineSize(TIFF* file) {
  return TIFFScanlineSize64(file);
}

int WriteRow(TIFF* file, void* row, std::uint32_t rowIndex) {
  return TIFFWriteScanline(file, row, rowIndex, 0) < 0 ? 0 : 1;
}

int FinishFile(TIFF* file) {
  return TIFFFlush(file) == 1 ? 1 : 0;
}

}  // namespace engine
