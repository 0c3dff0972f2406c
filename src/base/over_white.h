// The one rule by which every picture with alpha or a transparent colour
// becomes opaque, whichever path (the engine or the imaging service) read it.
#pragma once

#include <cstdint>

// One channel of a pixel shown over white, alpha not premultiplied:
// round((a * c + (255 - a) * 255) / 255).
constexpr std::uint8_t OverWhite(std::uint8_t alpha, std::uint8_t channel) {
  return static_cast<std::uint8_t>((alpha * channel + (255 - alpha) * 255 + 127) / 255);
}
