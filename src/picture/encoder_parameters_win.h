#pragma once

// Format codes of the save operations and the parameter list GDI+ encoders
// receive with them.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

// The encoder a save uses; any code outside 1..5 selects BMP.
using PictureFormat = int32_t;
constexpr PictureFormat kFormatBmp = 1;
constexpr PictureFormat kFormatJpeg = 2;
constexpr PictureFormat kFormatGif = 3;
constexpr PictureFormat kFormatTiff = 4;
constexpr PictureFormat kFormatPng = 5;

// JPEG quality, 0..100; saves without one use the best.
constexpr int32_t kDefaultJpegQuality = 100;

// quality clamped to 0..100.
int32_t NormalisedQuality(int32_t quality);

// The class identifier text of the built-in encoder for format.
const char* EncoderClsidText(PictureFormat format);

// Identifier text of the encoder's quality parameter.
extern const char kQualityParameterText[];

// The record handed to GdipSaveImageToFile / GdipSaveImageToStream. It always
// declares one entry: for JPEG the quality (a LONG held by this object, so
// the list must live until the save returns); for every other format an
// entry with the all-zero identifier and no value, which encoders skip.
class EncoderParameterList {
 public:
  EncoderParameterList(PictureFormat format, int32_t quality);
  EncoderParameterList(const EncoderParameterList&) = delete;
  EncoderParameterList& operator=(const EncoderParameterList&) = delete;

  const Gdiplus::EncoderParameters* Get() const { return &parameters; }

 private:
  Gdiplus::EncoderParameters parameters;
  LONG qualityValue;
};
