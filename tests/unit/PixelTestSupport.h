// Shared by the pixel-step tests: bitmaps filled with a known pattern, reference
// versions of the steps written as plain coordinate loops, and a digest.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/WorkBitmap.h"

namespace quorvel::testing_pixels {

// A distinct value for every (x, y), wide enough for 8-, 16- and 32-bit elements.
inline std::uint32_t Pattern(std::uint32_t x, std::uint32_t y, std::uint32_t seed = 0) {
  std::uint32_t v = (x * 2654435761u) ^ (y * 40503u) ^ (seed * 97u);
  return v ^ (v >> 13);
}

// A bitmap of elementBytes-sized pixels set from Pattern, padding bytes set to 0xEE.
inline WorkBitmap Filled(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount, std::uint32_t seed = 0) {
  WorkBitmap b;
  SpareBlock spare;
  std::vector<std::uint32_t> palette;
  for (std::uint32_t i = 0; i < 256; ++i) palette.push_back(i * 0x010203u);
  if (b.Allocate(width, height, bitCount, palette, spare) != kResultSuccess) return b;
  const std::size_t e = bitCount / 8;
  std::memset(b.Pixels(), 0xEE, b.Layout()->stride * height + 4);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t v = Pattern(x, y, seed);
      std::memcpy(b.Pixels() + y * b.Layout()->stride + x * e, &v, e);
    }
  return b;
}

inline std::uint32_t ElementAt(const WorkBitmap& b, std::uint32_t x, std::uint32_t y) {
  std::uint32_t v = 0;
  const std::size_t e = b.Layout()->bitCount / 8;
  std::memcpy(&v, b.Pixels() + y * b.Layout()->stride + x * e, e);
  return v;
}

inline std::uint64_t Digest(const WorkBitmap& b) {
  std::uint64_t h = 14695981039346656037ull;
  const BitmapLayout& a = *b.Layout();
  const std::size_t rowBytes = (static_cast<std::size_t>(a.width) * a.bitCount + 7) / 8;
  for (std::uint32_t y = 0; y < a.height; ++y)
    for (std::size_t i = 0; i < rowBytes; ++i) h = (h ^ b.Pixels()[y * a.stride + i]) * 1099511628211ull;
  return h;
}

}  // namespace quorvel::testing_pixels
