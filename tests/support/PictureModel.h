// What a delivered picture must look like, worked out from a fixture's own definition:
// where each displayed pixel comes from under each EXIF orientation, and alpha
// compositing. Independent of the plug-in's code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Dib.h"

namespace testsupport {

using hostkit::Bgr;

struct Position {
  std::uint32_t x, y;
};

// EXIF: for orientation o the upright picture's pixel (x, y) is the stored pixel returned.
// width/height are the stored picture's.
Position StoredPosition(int orientation, std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height);
bool SwapsSides(int orientation);

// (c * a + bg * (255 - a)) / 255 per channel, truncated.
Bgr Composite(Bgr color, std::uint8_t alpha, Bgr background);

// Compares every displayed pixel of dib with storedColor(StoredPosition(...)); an empty
// string means equal, otherwise the first difference.
std::string ComparePicture(const hostkit::Dib& dib, std::uint32_t width, std::uint32_t height, int orientation,
                           const std::function<Bgr(std::uint32_t x, std::uint32_t y)>& storedColor);

}  // namespace testsupport
