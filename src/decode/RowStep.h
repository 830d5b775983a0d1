// The common frame of the pixel steps: allocate the destination, build one RowJob per
// destination row, run the row body, install the result with Adopt.
#pragma once

#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "decode/ParallelForRows.h"
#include "decode/WorkBitmap.h"

namespace quorvel {

// sourceOfRow(k) gives the source address that destination row k is produced from.
// On failure the picture and the spare slot are left as they were.
template <class SourceOfRow>
ResultCode RunRowStep(WorkBitmap& bitmap, SpareBlock& spare, std::uint32_t width, std::uint32_t height,
                      std::uint32_t bitCount, RowBody body, const void* constants, SourceOfRow sourceOfRow) noexcept {
  if (height > static_cast<std::uint32_t>(INT_MAX)) return kResultOutOfMemory;
  // The job list is made first: once the destination holds the spare block, nothing
  // may fail any more, or the slot would lose it.
  std::vector<RowJob> jobs;
  try {
    jobs.resize(height);
  } catch (const std::bad_alloc&) {
    return kResultOutOfMemory;
  }
  WorkBitmap destination;
  if (const ResultCode r = destination.Allocate(width, height, bitCount, bitmap.Layout()->palette, spare);
      r != kResultSuccess)
    return r;
  const std::size_t stride = destination.Layout()->stride;
  std::uint8_t* row = destination.Pixels();
  for (std::uint32_t k = 0; k < height; ++k, row += stride) jobs[k] = RowJob{row, sourceOfRow(k)};
  ParallelForRows(static_cast<int>(height), body, jobs.data(), constants);
  bitmap.Adopt(destination, spare);
  return kResultSuccess;
}

}  // namespace quorvel
