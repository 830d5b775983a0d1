// The DIB output stage: bottom-up row order, the 32-to-24-bit reduction (alpha removed
// or composited on the background colour) and the hand-over as two local blocks.
#pragma once

#include "decode/WorkBitmap.h"

namespace quorvel {

// Reverses the row order (whole strides, padding included). 8 without pixels; 4 when
// memory runs out, the picture unchanged.
ResultCode FlipRowsBottomUp(WorkBitmap& bitmap, SpareBlock& spare) noexcept;

// 32-bit pixels (blue, green, red, alpha/unused) to 24-bit ones in the same row order.
// With hasAlpha the "Alpha" setting is read once: mode 1 composites on "Color",
// anything else removes the alpha byte. 8 for a depth other than 32.
ResultCode ReduceTo24Bits(WorkBitmap& bitmap, SpareBlock& spare, bool hasAlpha) noexcept;

// Fills info with the BITMAPINFO block (40-byte header, 2^bitCount colours for <= 8
// bits) and bits with the pixel block, which is handed over without a copy when the
// bitmap owns it. Whatever a slot held before is freed. On success the bitmap is empty.
ResultCode BuildDib(LocalBlock& info, LocalBlock& bits, WorkBitmap& bitmap) noexcept;

}  // namespace quorvel
