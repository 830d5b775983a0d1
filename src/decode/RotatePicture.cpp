// The nine rotation kernels: one row body per element width, three source mappings.
#include "decode/RotatePicture.h"

#include <cstring>

#include "decode/RowKernels.h"
#include "decode/RowStep.h"

namespace quorvel {
namespace {

constexpr HRESULT kInvalidPixelFormat = HRESULT_FROM_WIN32(ERROR_INVALID_PIXEL_FORMAT);  // 0x800707D0

enum class Turn { kQuarterCw, kHalf, kQuarterCcw };

template <class Element>
ResultCode Rotate(WorkBitmap& bitmap, SpareBlock& spare, Turn turn) noexcept {
  const BitmapLayout& a = *bitmap.Layout();
  const std::uint32_t w = a.width, h = a.height;
  const std::ptrdiff_t s = static_cast<std::ptrdiff_t>(a.stride), e = sizeof(Element);
  const std::uint8_t* p = bitmap.Pixels();
  RunConstants c;
  c.elementBytes = sizeof(Element);
  switch (turn) {
    // D[k][j] = A[H-1-j][k]: row k starts at the bottom of source column k and walks up.
    case Turn::kQuarterCw:
      c.count = h;
      c.elementStep = -s;
      c.jobStep = e;
      return RunRowStep(bitmap, spare, h, w, a.bitCount, &RunRows, &c,
                        [&](std::uint32_t k) { return p + (static_cast<std::ptrdiff_t>(h) - 1) * s + k * e; });
    // D[k][j] = A[H-1-k][W-1-j]: row k is source row H-1-k read right to left.
    case Turn::kHalf:
      c.count = w;
      c.elementStep = -e;
      return RunRowStep(bitmap, spare, w, h, a.bitCount, &RunRows, &c,
                        [&](std::uint32_t k) { return p + (static_cast<std::ptrdiff_t>(h) - 1 - k) * s + (static_cast<std::ptrdiff_t>(w) - 1) * e; });
    // D[k][j] = A[j][W-1-k]: row k starts at the top of source column W-1-k and walks down.
    case Turn::kQuarterCcw:
      c.count = h;
      c.elementStep = s;
      c.jobStep = -e;
      return RunRowStep(bitmap, spare, h, w, a.bitCount, &RunRows, &c,
                        [&](std::uint32_t k) { return p + (static_cast<std::ptrdiff_t>(w) - 1 - k) * e; });
  }
  return kResultInternalError;
}

bool HasPixels(const WorkBitmap& bitmap) noexcept { return bitmap.Layout() && bitmap.Pixels(); }

}  // namespace

// Each kernel: the element width and turn of one of the nine combinations.
#define QUORVEL_KERNEL(name, element, turn)                                  \
  ResultCode name(WorkBitmap& bitmap, SpareBlock& spare) noexcept {           \
    if (!HasPixels(bitmap)) return kResultInternalError;                      \
    return Rotate<element>(bitmap, spare, turn);                              \
  }
QUORVEL_KERNEL(RotateQuarterCw8, std::uint8_t, Turn::kQuarterCw)
QUORVEL_KERNEL(RotateQuarterCw16, std::uint16_t, Turn::kQuarterCw)
QUORVEL_KERNEL(RotateQuarterCw32, std::uint32_t, Turn::kQuarterCw)
QUORVEL_KERNEL(RotateHalfTurn8, std::uint8_t, Turn::kHalf)
QUORVEL_KERNEL(RotateHalfTurn16, std::uint16_t, Turn::kHalf)
QUORVEL_KERNEL(RotateHalfTurn32, std::uint32_t, Turn::kHalf)
QUORVEL_KERNEL(RotateQuarterCcw8, std::uint8_t, Turn::kQuarterCcw)
QUORVEL_KERNEL(RotateQuarterCcw16, std::uint16_t, Turn::kQuarterCcw)
QUORVEL_KERNEL(RotateQuarterCcw32, std::uint32_t, Turn::kQuarterCcw)
#undef QUORVEL_KERNEL

ResultCode RotatePicture(WorkBitmap& bitmap, std::uint32_t rotation, SpareBlock& spare) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  if (rotation > 3) return kResultInternalError;
  if (rotation == 0) return kResultSuccess;
  using Kernel = ResultCode (*)(WorkBitmap&, SpareBlock&) noexcept;
  static constexpr Kernel kKernels[3][3] = {
      {RotateQuarterCw8, RotateQuarterCw16, RotateQuarterCw32},
      {RotateHalfTurn8, RotateHalfTurn16, RotateHalfTurn32},
      {RotateQuarterCcw8, RotateQuarterCcw16, RotateQuarterCcw32},
  };
  int width;
  switch (bitmap.Layout()->bitCount) {
    case 8: width = 0; break;
    case 16: width = 1; break;
    case 32: width = 2; break;
    default: return MapFailure(kInvalidPixelFormat);
  }
  return kKernels[rotation - 1][width](bitmap, spare);
}

}  // namespace quorvel
