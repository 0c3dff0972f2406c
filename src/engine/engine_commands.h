// The engine's three conversion commands: each loads one picture file
// (LoadPicture) and writes it as JPEG, TIFF or PNG, answering with one of the
// result codes of result_codes.h. A command keeps no state between calls and
// may run on any thread.
//
// Every written file appears at the destination only once it is complete: a
// command that fails leaves no destination file behind and an earlier file of
// that name as it was. The destination folder must exist; no folder is made.
#pragma once

#include <cstdint>

#include "base/command_call.h"
#include "engine/result_codes.h"

namespace engine {

// Writes a sequential baseline JPEG. grayscale exactly 1 writes one grey
// channel, any other value colour; quality 1..100 and smoothing 0..100 (both
// inclusive) or ResultBadArguments; optimizeCoding non-zero turns on
// optimized Huffman tables.
int ConvertToJpeg(const char* source, const char* destination, std::int32_t grayscale,
                  std::int32_t quality, std::int32_t optimizeCoding, std::int32_t smoothing);

// Writes an uncompressed little-endian TIFF: paletted exactly 1 gives 8-bit
// grey levels with a grey-ramp colour map, any other value 24-bit RGB.
int ConvertToTiff(const char* source, const char* destination, std::int32_t paletted);

// Writes an interlaced 24-bit RGB PNG; bitDepth must be 24.
int ConvertToPng(const char* source, const char* destination, std::int32_t bitDepth);

}  // namespace engine

// The same commands in the runtime's uniform calling form. Arguments are read
// by position, in the order of the typed forms above: numbers and booleans
// from the low 32 bits of each record's value, paths as addresses of
// zero-terminated UTF-8 texts. Type tags are not looked at and extra records
// are ignored; a position beyond argCount reads as 0 (a null path, which is
// refused). The result record receives the code as a 32-bit integer.
void CmdConvertToJpeg(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdConvertToTiff(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdConvertToPng(ArgRecord* result, int argCount, const ArgRecord* args);
