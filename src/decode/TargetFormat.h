// The choice of the pixel format a frame is converted into before its pixels are copied:
// one a DIB can carry and, under a pending rotation, one the 8/16/24/32-bit kernels turn.
#pragma once

#include <guiddef.h>

#include <cstdint>

#include "decode/PixelFormatTable.h"

namespace quorvel {

// frameFormat: the frame's own format; entry: its table entry; alpha: the entry's alpha
// flag or a palette with alpha; rotation: the pending clockwise quarter turns.
const GUID& ChooseTargetFormat(const GUID& frameFormat, const PixelFormatEntry& entry, bool alpha,
                               std::uint32_t rotation) noexcept;

// What to convert into instead when the imaging component cannot convert into the chosen
// target: 32-bit BGRA or BGR, which every decoded format converts into, and which the
// 32-to-24-bit step then finishes.
const GUID& FallbackTargetFormat(bool alpha) noexcept;

}  // namespace quorvel
