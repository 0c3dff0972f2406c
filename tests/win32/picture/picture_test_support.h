#pragma once

// Shared by the picture-object tests: the test pictures, an independent
// GDI+ decode of files and buffers into 32-bit ARGB pixels, and the pattern
// the test pictures show. Scratch folders are TempFolder (test_files_win.h).

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/wide_text_win.h"

#include "test_files_win.h"

namespace picture_test {

// Starts GDI+ once for the test program, as the program's start-up does.
void EnsureImagingService();

// True under Wine, whose builtin GDI+ lacks a few things Windows' has; tests
// name each such gap where they meet it.
bool RunningUnderWine();

// Path of a picture made by tests/testdata/make_picture.sh.
std::string TestPicturePath(const std::string& name);

// 中文图片.png, made under that name by make_picture.sh.
extern const char kChinesePictureName[];

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

enum class FileFormat { Unknown, Bmp, Jpeg, Gif, Tiff, Png };
// The format a file's leading bytes announce.
FileFormat SignatureOf(const std::vector<uint8_t>& bytes);
const char* FormatName(FileFormat format);

struct Pixels {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> argb;  // rows top first, 0xAARRGGBB
  uint32_t At(uint32_t x, uint32_t y) const { return argb[y * width + x]; }
};

// The pixels of a GDI+ bitmap (as 32-bit ARGB); empty when it cannot be read.
Pixels PixelsOf(Gdiplus::GpImage* image);
// Files and buffers decoded by GDI+ directly, not through Picture.
Pixels DecodeFile(const std::string& path);
Pixels DecodeBytes(const uint8_t* data, size_t size);

// pattern.*: 64x32, eight 16x16 blocks of pure colours.
Pixels ExpectedPattern();

// Largest difference of any channel over all pixels (sizes must match; a
// size mismatch gives 256), and the mean difference per channel.
int MaxChannelDifference(const Pixels& a, const Pixels& b);
double MeanChannelDifference(const Pixels& a, const Pixels& b);
// As MaxChannelDifference, over pixels at least margin pixels away from the
// edges of the 16x16 blocks (where lossy chroma handling smears colours).
int MaxDifferenceInsideBlocks(const Pixels& a, const Pixels& b, uint32_t margin);

}  // namespace picture_test
