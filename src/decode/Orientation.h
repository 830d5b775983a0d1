// EXIF orientation (tag 274) as clockwise quarter turns plus "keep the rows top-down",
// which mirrors the picture top to bottom in the bottom-up DIB.
#pragma once

#include <cstdint>

namespace quorvel {

struct OrientationTransform {
  std::uint32_t rotation = 0;  // clockwise quarter turns, 0..3
  bool keepTopDownRows = false;
};

// The transform for a tag value; values outside 2..8 are upright.
OrientationTransform TransformForTag(std::uint32_t tag) noexcept;

}  // namespace quorvel
