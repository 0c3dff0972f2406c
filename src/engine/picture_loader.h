// LoadPicture: recognises a picture file by its content and decodes it with
// the first reader that accepts it.
#pragma once

#include "engine/raster_image.h"
#include "engine/result_codes.h"

namespace engine {

// Decodes the picture at path into image. The readers are asked in a fixed
// order (JPEG, BMP, TIFF, PNG, PCX, GIF, Netpbm, SGI, Softimage PIC, WebP,
// HEIF and AVIF, PhotoCD at base resolution); the file
// name plays no part. The first reader whose open step accepts the file
// decodes it, and its verdict is final: when its read step fails, no later
// reader is asked. The decoded picture is then made opaque and upright: a
// 32-bit picture is flattened over white into 24 bits, and a JPEG file's
// EXIF orientation or a TIFF file's Orientation field is applied
// (picture_orientation.h).
//
// Returns ResultOk, ResultFileNotFound when the path names no existing file
// or folder (a path holding wildcards never counts as existing), or
// ResultNotReadable when no reader accepts the file or the accepting reader
// fails. On failure the image is left empty.
int LoadPicture(const char* path, RasterImage& image);

// True for the pictures that only the engine reads as they are: WebP, HEIF
// and AVIF files (which the platform's imaging service cannot decode) and PNG
// files with 16-bit alpha (which it reads with alpha cut to 8 bits its own
// way). Decided by the file's first bytes, never by its name.
bool IsReadByEngineOnly(const char* path);

}  // namespace engine
