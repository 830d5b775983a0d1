// DIB output stage: row flip, 32-to-24-bit reduction and BuildDib.
#include "decode/DibOutput.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/CheckedSize.h"
#include "decode/RowStep.h"
#include "settings/SettingsStore.h"

namespace quorvel {
namespace {

constexpr HRESULT kInvalidPixelFormat = HRESULT_FROM_WIN32(ERROR_INVALID_PIXEL_FORMAT);  // 0x800707D0

bool HasPixels(const WorkBitmap& bitmap) noexcept { return bitmap.Layout() && bitmap.Pixels(); }

struct FlipConstants {
  std::size_t stride;
};

void QUORVEL_ROW_BODY CopyWholeRows(int lo, int hi, const RowJob* jobs, const void* constants) {
  const std::size_t stride = static_cast<const FlipConstants*>(constants)->stride;
  for (int row = lo; row < hi; ++row) std::memcpy(jobs[row].destination, jobs[row].source, stride);
}

struct ReduceConstants {
  std::uint32_t width;
  std::size_t stride;  // of the 24-bit destination
  BackgroundColor background;
};

// Writes one unchanged or background pixel: a 4-byte store whose fourth byte the next
// pixel overwrites. Where rows run on several threads at once it must not reach past
// the row's end (a neighbour's row), so the last pixel of a row may take 2 + 1 bytes.
inline void StoreWhole(std::uint8_t* row, std::size_t offset, std::size_t stride, const std::uint8_t* bgr) {
  if (!kRowsMayRunInParallel || offset + 4 <= stride) {
    std::memcpy(row + offset, bgr, 4);
  } else {
    std::memcpy(row + offset, bgr, 2);
    row[offset + 2] = bgr[2];
  }
}

void QUORVEL_ROW_BODY RemoveAlphaRows(int lo, int hi, const RowJob* jobs, const void* constants) {
  const auto& c = *static_cast<const ReduceConstants*>(constants);
  for (int row = lo; row < hi; ++row) {
    std::uint8_t* d = jobs[row].destination;
    const std::uint8_t* s = jobs[row].source;
    for (std::uint32_t x = 0; x < c.width; ++x) StoreWhole(d, 3 * std::size_t{x}, c.stride, s + 4 * std::size_t{x});
  }
}

// out = (src * a + bg * (255 - a)) / 255, truncating; a = 0 and 255 are exact fast paths.
void QUORVEL_ROW_BODY CompositeRows(int lo, int hi, const RowJob* jobs, const void* constants) {
  const auto& c = *static_cast<const ReduceConstants*>(constants);
  const std::uint8_t bg[4] = {c.background.blue, c.background.green, c.background.red, 0};
  for (int row = lo; row < hi; ++row) {
    std::uint8_t* d = jobs[row].destination;
    const std::uint8_t* s = jobs[row].source;
    for (std::uint32_t x = 0; x < c.width; ++x, s += 4) {
      const std::size_t offset = 3 * std::size_t{x};
      const unsigned a = s[3];
      if (a == 255) {
        StoreWhole(d, offset, c.stride, s);
      } else if (a == 0) {
        StoreWhole(d, offset, c.stride, bg);
      } else {
        for (int i = 0; i < 3; ++i)
          d[offset + i] = static_cast<std::uint8_t>(std::min(255u, (s[i] * a + bg[i] * (255 - a)) / 255));
      }
    }
  }
}

}  // namespace

ResultCode FlipRowsBottomUp(WorkBitmap& bitmap, SpareBlock& spare) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  const FlipConstants c{a.stride};
  const std::uint8_t* p = bitmap.Pixels();
  const std::uint32_t h = a.height;
  return RunRowStep(bitmap, spare, a.width, h, a.bitCount, &CopyWholeRows, &c,
                    [&](std::uint32_t k) { return p + (h - 1 - k) * a.stride; });
}

ResultCode ReduceTo24Bits(WorkBitmap& bitmap, SpareBlock& spare, bool hasAlpha) noexcept {
  if (!HasPixels(bitmap)) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  if (a.bitCount != 32) return MapFailure(kInvalidPixelFormat);
  const auto stride = RowStride(a.width, 24);
  if (!stride) return kResultOutOfMemory;
  ReduceConstants c{a.width, *stride, {0xFF, 0xFF, 0xFF}};
  RowBody body = &RemoveAlphaRows;
  if (hasAlpha && ReadAlphaSettings(c.background) == static_cast<AlphaMode>(kAlphaComposite)) body = &CompositeRows;
  const std::uint8_t* p = bitmap.Pixels();
  const std::size_t sourceStride = a.stride;
  return RunRowStep(bitmap, spare, a.width, a.height, 24, body, &c,
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
