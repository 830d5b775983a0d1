// The row body of the banded copy: each RowJob's destination run receives `count`
// source elements, converted by one pixel operation. Along a row the elements are read
// forwards or backwards; down or up a column (quarter turns) they are read in cache
// tiles with SSE2 transposes, several jobs at a time. Processors with SSSE3 get a build
// of the same kernels that widens and packs 24-bit pixels with byte shuffles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/ParallelForRows.h"
#include "decode/PictureOptions.h"

namespace quorvel {

enum class PixelOp : std::uint8_t {
  kCopy,             // elements of elementBytes, unchanged
  kStrip32To24,      // blue, green, red of each 32-bit pixel
  kComposite32To24,  // each 32-bit pixel (straight alpha) on the background colour
};

struct RunConstants {
  PixelOp op = PixelOp::kCopy;
  std::uint32_t elementBytes = 1;  // source element: 1, 2, 3 or 4 (any for copies along a row)
  std::uint32_t count = 0;         // elements per run
  std::ptrdiff_t elementStep = 0;  // source advance per element: +-elementBytes along a row, +-stride down a column
  std::ptrdiff_t jobStep = 0;      // source distance between consecutive jobs when reading columns (+-elementBytes)
  BackgroundColor background{0xFF, 0xFF, 0xFF};
};

// The row body for ParallelForRows; constants is a RunConstants.
void QUORVEL_ROW_BODY RunRows(int lo, int hi, const RowJob* jobs, const void* constants);

// The two builds of the kernels RunRows chooses between, for the tests to run each.
namespace sse2 {
void RunRowsWith(int lo, int hi, const RowJob* jobs, const RunConstants& c);
}
namespace ssse3 {
void RunRowsWith(int lo, int hi, const RowJob* jobs, const RunConstants& c);
}
bool ProcessorHasSsse3();

// Bytes one element takes in the destination for op.
inline std::uint32_t DestinationElementBytes(const RunConstants& c) {
  return c.op == PixelOp::kCopy ? c.elementBytes : 3;
}

}  // namespace quorvel
