#pragma once

// The three target formats of the format list and how each is written, by
// the imaging service (batch and drop runs) or by the engine (single
// pictures, and batch pictures the imaging service cannot read).

#include <cstdint>
#include <string>
#include <string_view>

// The items of the format list; compared with its text exactly.
constexpr char kTargetJpg[] = "jpg";
constexpr char kTargetTif[] = "tif";
constexpr char kTargetPng[] = "png";

// The JPEG quality of every conversion.
constexpr int32_t kConversionQuality = 100;

// The imaging service's encoder code for target: 2 JPEG, 4 TIFF, 5 PNG; 0 for
// a text that is not one of the three targets.
int32_t PictureFormatForTarget(std::string_view target);

// Converts source into destination through the engine command of target
// (JPEG quality 100 with optimized coding, 24-bit TIFF, 24-bit PNG). Answers
// the engine's result code; a target that is not one of the three gives
// engine::ResultBadArguments without converting anything.
int ConvertWithEngine(std::string_view target, const std::string& source,
                      const std::string& destination);

// What went wrong, for a failed engine result code, in the program's words.
std::string EngineFailureText(int resultCode);
