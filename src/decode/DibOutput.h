// The hand-over to the host: the delivered picture as two local blocks, BITMAPINFO and pixels.
#pragma once

#include "decode/WorkBitmap.h"

namespace quorvel {

// Fills info with the BITMAPINFO block (40-byte header, 2^bitCount colours for <= 8
// bits) and bits with the bitmap's own pixel block, without a copy. Whatever a slot held
// before is freed. On success the bitmap is empty; 8 for a bitmap without pixels.
ResultCode BuildDib(LocalBlock& info, LocalBlock& bits, WorkBitmap& bitmap) noexcept;

}  // namespace quorvel
