// BuildDib: the BITMAPINFO block beside the pixel block.
#include "decode/DibOutput.h"

#include <windows.h>

#include <algorithm>
#include <cstring>


namespace quorvel {
ResultCode BuildDib(LocalBlock& info, LocalBlock& bits, WorkBitmap& bitmap) noexcept {
  if (!bitmap.Layout() || !bitmap.Pixels()) return kResultInternalError;
  const BitmapLayout& a = *bitmap.Layout();
  bits.Reset(bitmap.ReleaseBlock());

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
