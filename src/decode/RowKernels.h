// The row kernels of the banded copy: each RowJob's destination run receives `count`
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

// How a run walks its source, one kernel entry each. Job k's run receives c.count
// elements of c.elementBytes = e; with S the source's stride, element j is read at
enum class Walk : std::uint8_t {
  kRowsForward,      // source + j*e: a source row left to right (elementStep = +e)
  kRowsBackward,     // source - j*e: a source row right to left, the half turn (elementStep = -e)
  kColumnsUpward,    // source - j*S: a column from the bottom up, job k+1 one column to the
                     // right (elementStep = -S, jobStep = +e): the quarter turn clockwise
  kColumnsDownward,  // source + j*S: a column from the top down, job k+1 one column to the
                     // left (elementStep = +S, jobStep = -e): the quarter turn counter-clockwise
};

// The row bodies for ParallelForRows, one per walk; constants is a RunConstants whose
// steps are the walk's.
void QUORVEL_ROW_BODY RunRowsForward(int lo, int hi, const RowJob* jobs, const void* constants);
void QUORVEL_ROW_BODY RunRowsBackward(int lo, int hi, const RowJob* jobs, const void* constants);
void QUORVEL_ROW_BODY RunColumnsUpward(int lo, int hi, const RowJob* jobs, const void* constants);
void QUORVEL_ROW_BODY RunColumnsDownward(int lo, int hi, const RowJob* jobs, const void* constants);
RowBody RowBodyFor(Walk walk) noexcept;

// The two builds of the kernels the row bodies choose between, for the tests to run each.
namespace sse2 {
void RunWalk(Walk walk, int lo, int hi, const RowJob* jobs, const RunConstants& c);
}
namespace ssse3 {
void RunWalk(Walk walk, int lo, int hi, const RowJob* jobs, const RunConstants& c);
}
bool ProcessorHasSsse3();

// Bytes one element takes in the destination for op.
inline std::uint32_t DestinationElementBytes(const RunConstants& c) {
  return c.op == PixelOp::kCopy ? c.elementBytes : 3;
}

}  // namespace quorvel
