// PictureReader: the one shape of every reader of the engine, so the loader,
// the fuzz targets and the tests drive each format the same way.
#pragma once

#include "engine/codec_conventions.h"
#include "engine/raster_image.h"

namespace engine {

// A reader is asked about a file by opening it: the open step is the probe.
// Accepting a file means it is opened and ready for the read step; a refusal
// releases everything again. What is particular to one format (PhotoCD's
// resolution, for instance) is given to the reader's constructor, never to
// these calls.
class PictureReader {
 public:
  virtual ~PictureReader() = default;
  PictureReader(const PictureReader&) = delete;
  PictureReader& operator=(const PictureReader&) = delete;

  // The probe and open step: 1 when the reader accepts the file at path and
  // keeps it open for Read, which will decode into image (kept by reference
  // until then) reporting progress to callback; 0 with everything released.
  // Reports nothing itself.
  virtual int OpenRead(const char* path, RasterImage& image,
                       ProgressCallback callback = nullptr) = 0;

  // The read step: decodes the opened file into the image given to OpenRead,
  // then closes in every case. 1, or 0 (also without a successful OpenRead).
  virtual int Read() = 0;

  // Releases the file and whatever else the reader holds; harmless when
  // nothing is open.
  virtual void Close() = 0;

 protected:
  PictureReader() = default;
};

}  // namespace engine
