#include "engine/picture_loader.h"

#include "engine/bmp_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/mapped_file.h"
#include "engine/netpbm_reader.h"
#include "engine/pcx_reader.h"
#include "engine/photocd_reader.h"
#include "engine/png_codec.h"
#include "engine/sgi_reader.h"
#include "engine/softimage_pic_reader.h"
#include "engine/tiff_codec.h"

namespace engine {

namespace {

// What one reader made of a file.
enum class Verdict { Refused, Read, Failed };

Verdict OpenAndRead(PictureReader& reader, const char* path, RasterImage& image) {
  // Open steps are silent: a refusal (even a library error) just passes the
  // file on to the next reader.
  if (reader.OpenRead(path, image) != 1) return Verdict::Refused;
  return reader.Read() == 1 ? Verdict::Read : Verdict::Failed;
}

// A fresh reader of one kind for each file, made with the given constructor
// arguments; it closes whatever it still holds when it goes.
template <typename Reader, auto... readerArguments>
Verdict TryReader(const char* path, RasterImage& image) {
  Reader reader(readerArguments...);
  return OpenAndRead(reader, path, image);
}

using ReaderRow = Verdict (*)(const char* path, RasterImage& image);

// The readers in probe order. The order is part of the file-format rules: a
// file that starts with FF D8 and whose header libjpeg reads is only ever a
// JPEG, and the PhotoCD reader, which looks deepest into the file for its
// signature, comes last.
constexpr ReaderRow kReaders[] = {
    TryReader<JpegCodec>,                              // FF D8, a header libjpeg reads
    TryReader<BmpReader>,                              // "BM" or "BA", 24 bits
    TryReader<TiffCodec>,                              // what libtiff opens
    TryReader<PngCodec>,                               // the PNG signature
    TryReader<PcxReader>,                              // 0x0A, 8 or 24 bits
    TryReader<NetpbmReader>,                           // "P1" to "P6"
    TryReader<SgiReader>,                              // 474, big-endian
    TryReader<SoftimagePicReader>,                     // 0x5380F634 and "PICT"
    TryReader<PhotoCdReader, kPhotoCdBaseResolution>,  // "PCD_IPI" at 0x800
};

int ProbeAndRead(const char* path, RasterImage& image) {
  for (const ReaderRow tryReader : kReaders) {
    const Verdict verdict = tryReader(path, image);
    // The first reader that accepts the file decides alone.
    if (verdict != Verdict::Refused) return verdict == Verdict::Read ? ResultOk : ResultNotReadable;
  }
  return ResultNotReadable;
}

}  // namespace

int LoadPicture(const char* path, RasterImage& image) {
  // PathExists asks for the path's attributes (GetFileAttributes on
  // Windows), which, unlike a find-first-file search, never matches
  // wildcards: "*.png" does not name an existing file. A folder exists here
  // and is then refused by every reader.
  const int result =
      path != nullptr && PathExists(path) ? ProbeAndRead(path, image) : ResultFileNotFound;
  if (result != ResultOk) {
    // A reader that failed half way may have left a partial picture; drop it
    // and its backing file now rather than when the caller lets go.
    image.Release();
  }
  return result;
}

}  // namespace engine
