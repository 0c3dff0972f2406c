#include "engine/picture_loader.h"

#include "engine/bmp_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/mapped_file.h"
#include "engine/pcx_reader.h"
#include "engine/photocd_reader.h"
#include "engine/png_codec.h"
#include "engine/tiff_codec.h"

namespace engine {

namespace {

// One object of each codec class, alive for one load. Each closes whatever it
// still holds when destroyed.
struct Readers {
  JpegCodec jpeg;
  BmpReader bmp;
  TiffCodec tiff;
  PngCodec png;
  PcxReader pcx;
  PhotoCdReader photoCd;
};

struct ProbeStep {
  int (*open)(Readers&, const char* path, RasterImage& image);
  int (*read)(Readers&);
};

// The order is part of the file-format rules: a file that starts with FF D8
// and whose header libjpeg reads is only ever a JPEG, and the PhotoCD reader,
// which looks deepest into the file for its signature, comes last.
constexpr ProbeStep kProbeOrder[] = {
    {[](Readers& r, const char* path, RasterImage& image) { return r.jpeg.OpenRead(path, image); },
     [](Readers& r) { return r.jpeg.Read(); }},
    {[](Readers& r, const char* path, RasterImage& image) { return r.bmp.OpenRead(path, image); },
     [](Readers& r) { return r.bmp.Read(); }},
    {[](Readers& r, const char* path, RasterImage& image) { return r.tiff.OpenRead(path, &image); },
     [](Readers& r) { return r.tiff.Read(); }},
    {[](Readers& r, const char* path, RasterImage& image) { return r.png.OpenRead(path, image); },
     [](Readers& r) { return r.png.Read(); }},
    {[](Readers& r, const char* path, RasterImage& image) { return r.pcx.OpenRead(path, image); },
     [](Readers& r) { return r.pcx.Read(); }},
    {[](Readers& r, const char* path, RasterImage& image) {
       return r.photoCd.OpenRead(path, image, kPhotoCdBaseResolution);
     },
     [](Readers& r) { return r.photoCd.Read(); }},
};

int ProbeAndRead(Readers& readers, const char* path, RasterImage& image) {
  for (const ProbeStep& step : kProbeOrder) {
    // Open steps are silent: a refusal (even a library error) just passes
    // the file on to the next reader.
    if (step.open(readers, path, image) != 1) {
      continue;
    }
    return step.read(readers) == 1 ? ResultOk : ResultNotReadable;
  }
  return ResultNotReadable;
}

}  // namespace

int LoadPicture(const char* path, RasterImage& image) {
  Readers readers;
  // PathExists asks for the path's attributes (GetFileAttributes on
  // Windows), which, unlike a find-first-file search, never matches
  // wildcards: "*.png" does not name an existing file. A folder exists here
  // and is then refused by every reader.
  const int result =
      path != nullptr && PathExists(path) ? ProbeAndRead(readers, path, image) : ResultFileNotFound;
  if (result != ResultOk) {
    // A reader that failed half way may have left a partial picture; drop it
    // and its backing file now rather than when the caller lets go.
    image.Release();
  }
  return result;
}

}  // namespace engine
