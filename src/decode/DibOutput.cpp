// DIB output stage: row flip, 32-to-24-bit reduction and BuildDib.
#include "decode/DibOutput.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/CheckedSize.h"
#include "decode/RowKernels.h"
#include "decode/RowStep.h"
#include "settings/SettingsStore.h"

namespace quorvel {
namespace {

constexpr HRESULT kInvalidPixelFormat = HRESULT_FROM_WIN32(ERROR_INVALID_PIXEL_FORMAT);  // 0x800707D0

bool HasPixels(const WorkBitmap& bitmap) noexcept { return bitmap.Layout() && bitmap.Pixels(); }

}  // namespace

ResultCode FlipRowsBottomUp(WorkBitmap& bitmap, SpareBlock& spare) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  // Whole strides, padding included, as one block copy per row.
  RunConstants c;
  c.elementBytes = 1;
  c.count = static_cast<std::uint32_t>(a.stride);
  c.elementStep = 1;
  const std::uint8_t* p = bitmap.Pixels();
  const std::uint32_t h = a.height;
  return RunRowStep(bitmap, spare, a.width, h, a.bitCount, &RunRows, &c,
                    [&](std::uint32_t k) { return p + (h - 1 - k) * a.stride; });
}

ResultCode ReduceTo24Bits(WorkBitmap& bitmap, SpareBlock& spare, bool hasAlpha) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  if (a.bitCount != 32) return MapFailure(kInvalidPixelFormat);
  RunConstants c;
  c.op = PixelOp::kStrip32To24;
  c.elementBytes = 4;
  c.count = a.width;
  c.elementStep = 4;
  if (hasAlpha && ReadAlphaSettings(c.background) == static_cast<AlphaMode>(kAlphaComposite)) c.op = PixelOp::kComposite32To24;
  const std::uint8_t* p = bitmap.Pixels();
  const std::size_t sourceStride = a.stride;
  return RunRowStep(bitmap, spare, a.width, a.height, 24, &RunRows, &c,
                    [&](std::uint32_t k) { return p + k * sourceStride; });
}

ResultCode BuildDib(LocalBlock& info, LocalBlock& bits, WorkBitmap& bitmap) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  if (bitmap.Owns()) {
    bits.Reset(bitmap.ReleaseBlock());
  } else {
    const auto bytes = CheckedMul<std::size_t>(a.stride, a.height);
    if (!bytes) return kResultOutOfMemory;
    HLOCAL copy = LocalAlloc(LMEM_FIXED, *bytes);
    bits.Reset(copy);
    if (copy == nullptr) return kResultOutOfMemory;
    std::memcpy(copy, bitmap.Pixels(), *bytes);
  }

  const std::size_t colors = a.bitCount <= 8 ? std::size_t{1} << a.bitCount : 0;
  // sizeof(BITMAPINFO) is the header plus one built-in colour entry: 44 + 4 * colors.
  HLOCAL header = LocalAlloc(LMEM_ZEROINIT, sizeof(BITMAPINFO) + 4 * colors);
  info.Reset(header);
  if (header == nullptr) return kResultOutOfMemory;
  auto* bmi = static_cast<BITMAPINFO*>(header);
  BITMAPINFOHEADER& h = bmi->bmiHeader;
  const std::size_t used = std::min(colors, a.palette.size());
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = static_cast<LONG>(a.width);
  h.biHeight = static_cast<LONG>(a.height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(a.bitCount);
  h.biCompression = BI_RGB;
  h.biClrUsed = static_cast<DWORD>(used);
  if (used != 0) std::memcpy(static_cast<std::uint8_t*>(header) + sizeof(BITMAPINFOHEADER), a.palette.data(), 4 * used);
  bitmap.Clear();
  return kResultSuccess;
}

}  // namespace quorvel
