// The nine rotation kernels: one row body per element width, three source mappings.
#include "decode/RotatePicture.h"

#include <cstring>

#include "decode/RowStep.h"

namespace quorvel {
namespace {

constexpr HRESULT kInvalidPixelFormat = HRESULT_FROM_WIN32(ERROR_INVALID_PIXEL_FORMAT);  // 0x800707D0

struct RotationConstants {
  std::uint32_t count;  // elements per destination row
  std::uintptr_t step;  // source advance per element (two's complement for negative steps)
};

// Destination element j of each row = the element at the row's source start moved j steps.
template <class Element>
void QUORVEL_ROW_BODY RotateRows(int lo, int hi, const RowJob* jobs, const void* constants) {
  const auto& c = *static_cast<const RotationConstants*>(constants);
  for (int row = lo; row < hi; ++row) {
    std::uint8_t* d = jobs[row].destination;
    std::uintptr_t s = reinterpret_cast<std::uintptr_t>(jobs[row].source);
    for (std::uint32_t j = 0; j < c.count; ++j, d += sizeof(Element), s += c.step)
      std::memcpy(d, reinterpret_cast<const void*>(s), sizeof(Element));
  }
}

enum class Turn { kQuarterCw, kHalf, kQuarterCcw };

template <class Element>
ResultCode Rotate(WorkBitmap& bitmap, SpareBlock& spare, Turn turn) noexcept {
  const BitmapLayout& a = *bitmap.Layout();
  const std::uint32_t w = a.width, h = a.height;
  const std::uintptr_t s = a.stride, e = sizeof(Element);
  const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(bitmap.Pixels());
  const auto at = [](std::uintptr_t address) { return reinterpret_cast<const std::uint8_t*>(address); };
  const RowBody body = &RotateRows<Element>;
  switch (turn) {
    // D[k][j] = A[H-1-j][k]: row k starts at the bottom of source column k and walks up.
    case Turn::kQuarterCw: {
      const RotationConstants c{h, std::uintptr_t{0} - s};
      return RunRowStep(bitmap, spare, h, w, a.bitCount, body, &c,
                        [&](std::uint32_t k) { return at(p + (h - 1) * s + k * e); });
    }
    // D[k][j] = A[H-1-k][W-1-j]: row k is source row H-1-k read right to left.
    case Turn::kHalf: {
      const RotationConstants c{w, std::uintptr_t{0} - e};
      return RunRowStep(bitmap, spare, w, h, a.bitCount, body, &c,
                        [&](std::uint32_t k) { return at(p + (h - 1 - k) * s + (w - 1) * e); });
    }
    // D[k][j] = A[j][W-1-k]: row k starts at the top of source column W-1-k and walks down.
    case Turn::kQuarterCcw: {
      const RotationConstants c{h, s};
      return RunRowStep(bitmap, spare, h, w, a.bitCount, body, &c,
                        [&](std::uint32_t k) { return at(p + (w - 1 - k) * e); });
    }
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
