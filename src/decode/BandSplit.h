// How a large picture's rows are shared out among decoders working side by side: ranges
// of whole strips (or tile rows), as even as the strips allow, one per decoder. A pure
// function; the decoding itself is in ParallelDecode.h.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel {

struct RowRange {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;  // one past the last row
};

inline constexpr std::uint32_t kMostDecoders = 8;

// Pictures smaller than this are decoded by one decoder (measured: docs/PERFORMANCE.md).
inline constexpr std::uint64_t kShareOutFromPixels = 4'000'000;

struct BandSplitLimits {
  std::uint64_t minPixels = kShareOutFromPixels;
  std::uint32_t maxDecoders = kMostDecoders;
};

// The ranges for a picture of width x height pixels stored in strips of stripRows rows
// (0: unknown), for at most `processors` decoders. One range covering every row means
// "decode it alone": the picture is too small, has one strip, or there is one processor.
// Ranges are in increasing order, never empty, and together cover 0 .. height-1.
std::vector<RowRange> SplitRowsIntoBands(std::uint32_t width, std::uint32_t height, std::uint32_t stripRows,
                                         std::uint32_t processors, const BandSplitLimits& limits);

}  // namespace quorvel
