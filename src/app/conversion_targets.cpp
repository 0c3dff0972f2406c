#include "app/conversion_targets.h"

#include "engine/engine_commands.h"

int32_t PictureFormatForTarget(std::string_view target) {
  // Codes of the imaging service's encoders (picture/encoder_parameters_win.h).
  if (target == kTargetJpg) return 2;
  if (target == kTargetTif) return 4;
  if (target == kTargetPng) return 5;
  return 0;
}

int ConvertWithEngine(std::string_view target, const std::string& source,
                      const std::string& destination) {
  if (target == kTargetJpg) {
    return engine::ConvertToJpeg(source.c_str(), destination.c_str(), /*grayscale=*/0,
                                 kConversionQuality, /*optimizeCoding=*/1, /*smoothing=*/0);
  }
  if (target == kTargetTif) {
    return engine::ConvertToTiff(source.c_str(), destination.c_str(), /*paletted=*/0);
  }
  if (target == kTargetPng) {
    return engine::ConvertToPng(source.c_str(), destination.c_str(), /*bitDepth=*/24);
  }
  return engine::ResultBadArguments;
}

std::string EngineFailureText(int resultCode) {
  switch (resultCode) {
    case engine::ResultFileNotFound:
      return "源文件不存在";
    case engine::ResultNotReadable:
      return "文件不是可以读取的图片";
    case engine::ResultWriteFailed:
      return "无法写入转换后的文件";
    default:
      return "转换参数错误";
  }
}
