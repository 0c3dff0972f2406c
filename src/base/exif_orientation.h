// The orientation a picture file records for its pixels: EXIF's Orientation
// tag (0x0112) in a JPEG file's APP1 "Exif" segment, or the same tag in a
// TIFF file's first directory. Only the standard library is used, so the
// engine's loader (on files) and the imaging-service path of folder and drop
// runs (on bytes it already holds) share one parser.
//
// Values, as EXIF and TIFF define them (what the stored rows show):
//   1 upright                   5 transposed (mirrored about the main diagonal)
//   2 mirrored left to right    6 needs a quarter turn clockwise to stand upright
//   3 upside down (half turn)   7 transversed (mirrored about the other diagonal)
//   4 mirrored top to bottom    8 needs a quarter turn anticlockwise
// Every answer is 1..8; 1 when the tag is absent, not a single SHORT, out of
// range, or anything on the way to it is malformed or cut off.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kOrientationUpright = 1;
constexpr int kOrientationLast = 8;

// Random access to bytes of unknown total length: fills count bytes at
// offset into buffer, or answers false (nothing there, or cut off).
struct ByteSource {
  bool (*readAt)(void* context, std::uint64_t offset, void* buffer, std::size_t count);
  void* context;
};

// A JPEG file's orientation: the markers from SOI are walked up to the first
// SOS (or EOI, or the end of the bytes); the first APP1 segment starting with
// "Exif\0\0" decides. bytes may be the whole file or any prefix of it.
int JpegOrientation(const std::uint8_t* bytes, std::size_t size);
int JpegOrientation(const ByteSource& source);

// A TIFF file's orientation, from its first directory (classic or BigTIFF,
// either byte order). Later directories are never visited.
int TiffOrientation(const std::uint8_t* bytes, std::size_t size);
int TiffOrientation(const ByteSource& source);

