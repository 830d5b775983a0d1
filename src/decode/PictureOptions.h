// How the user wants pictures delivered, fixed for one GetPicture: taken once at its start
// and passed down, so that a picture never mixes two states of the settings.
#pragma once

#include <cstdint>

namespace quorvel {

// The compositing colour in DIB byte order.
struct BackgroundColor {
  std::uint8_t blue;
  std::uint8_t green;
  std::uint8_t red;
};

struct PictureOptions {
  bool applyOrientation = true;  // turn the picture upright by its orientation tag
  bool compositeAlpha = true;    // alpha composited on background; removed otherwise
  BackgroundColor background{0xFF, 0xFF, 0xFF};
};

}  // namespace quorvel
