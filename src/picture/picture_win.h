#pragma once

// One decoded picture held by GDI+: loaded from a file or from bytes in
// memory, asked for its size, re-encoded to a file or to bytes through one of
// the built-in encoders, optionally flattened onto an opaque background.
//
// A Picture is used by one thread from creation to destruction and has no
// lock; pictures on different threads share nothing but GDI+ itself, which
// StartImagingService has started before any of them exists. No operation
// shows a message or throws: results are booleans and (empty) buffers.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstddef>
#include <cstdint>

#include "picture/byte_buffer.h"
#include "picture/encoder_parameters_win.h"
#include "picture/imaging_handles_win.h"
#include "picture/imaging_service_win.h"

// A colour reference 0x00BBGGRR (bits 24..31 ignored) as GDI+'s 0xAARRGGBB.
uint32_t ColorToArgb(int32_t colour, uint8_t alpha = 255);

class Picture {
 public:
  Picture() = default;
  // Dispose, then the background brush.
  virtual ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Releases the image, its stream and its memory block and clears the size
  // cache. The background brush stays. Harmless on an empty picture.
  virtual void Dispose();

  // Each load first disposes of the current picture, so a failed load leaves
  // the picture empty. True exactly when GDI+ created an image.
  // Buffers shorter than 5 bytes are refused without allocating anything.
  virtual bool LoadFromMemory(const void* data, size_t size);
  // path: UTF-8 text; null or empty is refused.
  virtual bool LoadFromFile(const char* path);

  // The picture encoded by format's encoder (flattened first when a
  // background is set); empty on failure or when the picture is empty.
  virtual ByteBuffer SaveToMemory(PictureFormat format, int32_t quality = kDefaultJpegQuality);
  // True exactly when GDI+ reported the file written. False without any
  // platform call for an empty picture or an empty path.
  virtual bool SaveToFile(const char* path, PictureFormat format,
                          int32_t quality = kDefaultJpegQuality);

  // With a background set, replaces the image by an opaque copy of the same
  // size drawn over the background; otherwise does nothing.
  virtual void Flatten();

  // Turns the picture so that one stored with the given orientation
  // (base/exif_orientation.h) stands upright, and drops the orientation the
  // image carries among its properties, so that no viewer turns the output
  // again. 1 and values outside 1..8 change nothing. True when nothing had
  // to turn or the turn worked.
  virtual bool TurnUpright(int orientation);

  // When the picture has an alpha channel or a palette with transparent
  // entries, replaces it by the opaque 24-bit picture it shows over white
  // (OverWhite, base/over_white.h, channel by channel). True when it was
  // opaque already or has been flattened; false (picture unchanged) when
  // its pixels cannot be read, the opaque copy cannot be made, or it holds
  // more than 8 bits per channel (the service's reduction cuts instead of
  // rounding: such pictures are for the engine).
  virtual bool FlattenOverWhite();

  // Pixel sizes, 0 when empty. GDI+ is asked once per image and the answer
  // cached; an image that reports a zero width or height is discarded.
  virtual uint32_t Width();
  virtual uint32_t Height();
  virtual void GetSize(uint32_t& widthOut, uint32_t& heightOut);

  // The GDI+ image, null when empty. Still owned by the picture.
  virtual Gdiplus::GpImage* Handle() const;

  // colour as for ColorToArgb; negative removes the background.
  virtual void SetBackground(int32_t colour);

  // The class identifier of format's encoder (BMP for unknown codes).
  virtual void EncoderClsid(PictureFormat format, CLSID& clsid);

 private:
  GlobalMemory memoryBlock;  // bytes of a picture loaded from memory
  ComPtr<IStream> stream;    // opened over memoryBlock; GDI+ reads it while image lives
  GdiplusImage image;
  uint32_t width = 0;  // 0: not asked yet
  uint32_t height = 0;
  GdiplusBrush backgroundBrush;
};
