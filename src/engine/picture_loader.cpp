#include "engine/picture_loader.h"

#include "engine/bmp_reader.h"
#include "engine/byte_cursor.h"
#include "base/exif_orientation.h"
#include "engine/gif_reader.h"
#include "engine/heif_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/mapped_file.h"
#include "engine/netpbm_reader.h"
#include "engine/pcx_reader.h"
#include "engine/photocd_reader.h"
#include "engine/picture_orientation.h"
#include "engine/png_codec.h"
#include "engine/sgi_reader.h"
#include "engine/softimage_pic_reader.h"
#include "engine/tiff_codec.h"
#include "engine/webp_reader.h"

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

// The orientation a file records for its stored rows, read from the file
// itself; 1 when it records none.
using OrientationOf = int (*)(const char* path);

bool ReadFileAt(void* context, std::uint64_t offset, void* buffer, std::size_t count) {
  auto* file = static_cast<InputFile*>(context);
  return offset <= static_cast<std::uint64_t>(file->Size()) &&
         file->ReadAt(static_cast<std::int64_t>(offset), buffer, count) == 1;
}

template <int (*fromSource)(const ByteSource&)>
int FileOrientation(const char* path) {
  InputFile file;
  if (!file.Open(path)) return kOrientationUpright;
  return fromSource(ByteSource{ReadFileAt, &file});
}

struct ReaderRow {
  Verdict (*tryReader)(const char* path, RasterImage& image);
  OrientationOf orientationOf;  // null: the format records none
};

// The readers in probe order. The order is part of the file-format rules: a
// file that starts with FF D8 and whose header libjpeg reads is only ever a
// JPEG, and the PhotoCD reader, which looks deepest into the file for its
// signature, comes last. The JPEG and TIFF readers deliver the rows as
// stored; the orientation their files record is applied here, once. A HEIF
// picture's own rotation, mirror and crop are applied by its reader as it
// decodes (its EXIF orientation, if any, only repeats them); a WebP file's EXIF
// orientation is left alone, as browsers and viewers leave it.
constexpr ReaderRow kReaders[] = {
    {TryReader<JpegCodec>, FileOrientation<JpegOrientation>},  // FF D8, a header libjpeg reads
    {TryReader<BmpReader>, nullptr},                           // "BM" or "BA", every common depth
    {TryReader<TiffCodec>, FileOrientation<TiffOrientation>},  // what libtiff opens
    {TryReader<PngCodec>, nullptr},                            // the PNG signature
    {TryReader<PcxReader>, nullptr},                           // 0x0A, 1 to 4, 8, 24 or 32 bits
    {TryReader<GifReader>, nullptr},                           // "GIF87a" or "GIF89a"
    {TryReader<NetpbmReader>, nullptr},                        // "P1" to "P6"
    {TryReader<SgiReader>, nullptr},                           // 474, big-endian
    {TryReader<SoftimagePicReader>, nullptr},                  // 0x5380F634 and "PICT"
    {TryReader<WebpReader>, nullptr},                          // "RIFF", "WEBP"
    {TryReader<HeifReader>, nullptr},  // "ftyp" with a HEIF brand; upright by libheif
    {TryReader<PhotoCdReader, kPhotoCdBaseResolution>, nullptr},  // "PCD_IPI" at 0x800
};

// Every picture leaves the loader opaque and upright.
int Finish(const ReaderRow& row, const char* path, RasterImage& image) {
  if (!FlattenOverWhite(image)) return ResultNotReadable;
  const int orientation =
      row.orientationOf != nullptr ? row.orientationOf(path) : kOrientationUpright;
  return ApplyOrientation(image, orientation) ? ResultOk : ResultNotReadable;
}

int ProbeAndRead(const char* path, RasterImage& image) {
  for (const ReaderRow& row : kReaders) {
    const Verdict verdict = row.tryReader(path, image);
    // The first reader that accepts the file decides alone.
    if (verdict == Verdict::Read) return Finish(row, path, image);
    if (verdict == Verdict::Failed) return ResultNotReadable;
  }
  return ResultNotReadable;
}

}  // namespace

bool IsReadByEngineOnly(const char* path) {
  return IsPngWithSixteenBitAlpha(path) || IsWebpFile(path) || IsHeifFile(path);
}

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
