// WorkBitmap: layout sizing, block allocation, row padding.
#include "decode/WorkBitmap.h"

#include <cstring>
#include <new>

#include "common/CheckedSize.h"

namespace quorvel {

std::optional<std::size_t> RowStride(std::uint32_t width, std::uint32_t bitCount) noexcept {
  // At most 2^32 * 2^32 bits: 64-bit arithmetic cannot wrap for any bit count below 2^31.
  if (bitCount == 0 || bitCount > 0x7FFFFFFFu) return std::nullopt;
  const std::uint64_t bits = static_cast<std::uint64_t>(width) * bitCount;
  const std::uint64_t stride = ((bits + 7) / 8 + 3) & ~std::uint64_t{3};
  return CheckedNarrow<std::size_t>(stride);
}

std::optional<std::size_t> BlockBytes(std::size_t stride, std::uint32_t height) noexcept {
  const auto rows = CheckedMul<std::size_t>(stride, height);
  if (!rows) return std::nullopt;
  return CheckedAdd<std::size_t>(*rows, 4);
}

ResultCode WorkBitmap::Allocate(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                                const std::vector<std::uint32_t>& palette) noexcept {
  const auto stride = RowStride(width, bitCount);
  if (!stride) return kResultOutOfMemory;
  const auto bytes = BlockBytes(*stride, height);
  // A block that cannot be addressed is as unobtainable as one the allocator refuses.
  if (!bytes) return kResultOutOfMemory;

  std::unique_ptr<BitmapLayout> layout;
  try {
    layout = std::make_unique<BitmapLayout>();
    layout->width = width;
    layout->height = height;
    layout->bitCount = bitCount;
    layout->stride = *stride;
    if (bitCount <= 8) {
      layout->palette.assign(palette.begin(), palette.end());
      layout->palette.resize(std::size_t{1} << bitCount, kPaletteFill);
    }
  } catch (const std::bad_alloc&) {
    return kResultOutOfMemory;
  }
  layout_ = std::move(layout);

  block_.Reset(LocalAlloc(LMEM_FIXED, *bytes));
  pixels_ = static_cast<std::uint8_t*>(block_.Get());
  return pixels_ != nullptr ? kResultSuccess : kResultOutOfMemory;
}

void WorkBitmap::ClearPadding() noexcept {
  if (!layout_ || pixels_ == nullptr) return;
  const BitmapLayout& a = *layout_;
  // In 64 bits: in the 32-bit build width * bitCount may exceed a size_t even where the
  // stride fits. The row's bytes then fit, being at most the stride.
  const std::uint64_t bits = static_cast<std::uint64_t>(a.width) * a.bitCount;
  const auto used = static_cast<std::size_t>((bits + 7) / 8);
  // Pixels of 1, 2 or 4 bits fill a byte from its top bit: the bits after the row's last
  // pixel are padding too.
  const auto lastByteMask = static_cast<std::uint8_t>(bits % 8 != 0 ? 0xFF00u >> (bits % 8) : 0xFFu);
  std::uint8_t* row = pixels_;
  for (std::uint32_t y = 0; y < a.height; ++y, row += a.stride) {
    if (used != 0) row[used - 1] &= lastByteMask;
    std::memset(row + used, 0, a.stride - used);
  }
  std::memset(row, 0, 4);
}

HLOCAL WorkBitmap::ReleaseBlock() noexcept {
  pixels_ = nullptr;
  return block_.Release();
}

void WorkBitmap::Clear() noexcept {
  layout_.reset();
  block_.Reset();
  pixels_ = nullptr;
}

}  // namespace quorvel
