// SplitRowsIntoBands: whole strips per range, the remainder spread over the first ranges.
#include "decode/BandSplit.h"

#include <algorithm>

namespace quorvel {

std::vector<RowRange> SplitRowsIntoBands(std::uint32_t width, std::uint32_t height, std::uint32_t stripRows,
                                         std::uint32_t processors, const BandSplitLimits& limits) {
  std::vector<RowRange> ranges;
  if (height == 0) return ranges;
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
  const std::uint32_t strips = stripRows == 0 ? 1 : (height - 1) / stripRows + 1;
  const std::uint32_t decoders = std::min({processors, limits.maxDecoders, strips});
  if (pixels < limits.minPixels || decoders < 2) {
    ranges.push_back({0, height});
    return ranges;
  }
  // A strip is decoded whole whichever rows are asked for: ranges end on strip borders.
  const std::uint32_t each = strips / decoders, extra = strips % decoders;
  std::uint32_t strip = 0;
  for (std::uint32_t i = 0; i < decoders; ++i) {
    const std::uint32_t count = each + (i < extra ? 1 : 0);
    const auto begin = static_cast<std::uint32_t>(std::uint64_t{strip} * stripRows);  // below height
    strip += count;
    const std::uint32_t end = i + 1 == decoders ? height : std::min<std::uint64_t>(std::uint64_t{strip} * stripRows, height);
    ranges.push_back({begin, static_cast<std::uint32_t>(end)});
  }
  return ranges;
}

}  // namespace quorvel
