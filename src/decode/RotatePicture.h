// Out-of-place quarter and half turns of a top-down WorkBitmap of 8, 16 or 32 bits per
// pixel. Mirroring is not done here: the mirrored orientations leave the rows top-down.
#pragma once

#include <cstdint>

#include "decode/WorkBitmap.h"

namespace quorvel {

// rotation: clockwise quarter turns, 0..3. On failure the bitmap and the spare slot are
// as they were: 8 without pixels, for a code above 3 or a depth other than 8/16/32;
// 4 when memory runs out.
ResultCode RotatePicture(WorkBitmap& bitmap, std::uint32_t rotation, SpareBlock& spare) noexcept;

ResultCode RotateQuarterCw8(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateQuarterCw16(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateQuarterCw32(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateHalfTurn8(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateHalfTurn16(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateHalfTurn32(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateQuarterCcw8(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateQuarterCcw16(WorkBitmap& bitmap, SpareBlock& spare) noexcept;
ResultCode RotateQuarterCcw32(WorkBitmap& bitmap, SpareBlock& spare) noexcept;

}  // namespace quorvel
