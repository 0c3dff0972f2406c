#include "picture/encoder_parameters_win.h"

#include <cstddef>

#include "picture/imaging_service_win.h"

// The platform's layout in a 32-bit process: Count, then one entry of
// identifier, value count, value type and value address, 32 bytes in all.
#if !defined(_WIN64)
static_assert(sizeof(Gdiplus::EncoderParameters) == 32, "parameter list is 32 bytes");
static_assert(offsetof(Gdiplus::EncoderParameters, Parameter) == 4, "entry follows Count");
static_assert(offsetof(Gdiplus::EncoderParameter, NumberOfValues) == 16, "after the identifier");
static_assert(offsetof(Gdiplus::EncoderParameter, Type) == 20, "value type");
static_assert(offsetof(Gdiplus::EncoderParameter, Value) == 24, "value address");
#endif

const char kQualityParameterText[] = "{1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}";

int32_t NormalisedQuality(int32_t quality) {
  if (quality < 0) return 0;
  if (quality > 100) return 100;
  return quality;
}

const char* EncoderClsidText(PictureFormat format) {
  switch (format) {
    case kFormatJpeg:
      return "{557CF401-1A04-11D3-9A73-0000F81EF32E}";
    case kFormatGif:
      return "{557CF402-1A04-11D3-9A73-0000F81EF32E}";
    case kFormatTiff:
      return "{557CF405-1A04-11D3-9A73-0000F81EF32E}";
    case kFormatPng:
      return "{557CF406-1A04-11D3-9A73-0000F81EF32E}";
    case kFormatBmp:
    default:
      return "{557CF400-1A04-11D3-9A73-0000F81EF32E}";
  }
}

EncoderParameterList::EncoderParameterList(PictureFormat format, int32_t quality)
    : parameters{}, qualityValue(NormalisedQuality(quality)) {
  parameters.Count = 1;
  Gdiplus::EncoderParameter& entry = parameters.Parameter[0];
  entry.NumberOfValues = 1;
  entry.Type = Gdiplus::EncoderParameterValueTypeLong;
  entry.Value = nullptr;
  if (format == kFormatJpeg) {
    entry.Value = &qualityValue;
    const ByteBuffer identifier = ToWideText(kQualityParameterText);
    CLSIDFromString(WideOf(identifier), &entry.Guid);
  }
}
