// WorkBitmap: layout sizing, block allocation with recycling through the spare slot.
#include "decode/WorkBitmap.h"

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
                                const std::vector<std::uint32_t>& palette, SpareBlock& spare) noexcept {
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

  if (spare && LocalSize(spare.Get()) >= *bytes) {
    block_.Swap(spare);
  } else {
    HLOCAL fresh = LocalAlloc(LMEM_FIXED, *bytes);
    block_.Reset(fresh);
    if (fresh == nullptr) {
      pixels_ = nullptr;
      return kResultOutOfMemory;
    }
  }
  pixels_ = static_cast<std::uint8_t*>(block_.Get());
  return kResultSuccess;
}

void WorkBitmap::Adopt(WorkBitmap& other, SpareBlock& spare) noexcept {
  if (block_ && &spare != &block_ && (!spare || LocalSize(spare.Get()) < LocalSize(block_.Get()))) {
    spare.Reset(block_.Release());
  }
  if (&other != this) {
    layout_ = std::move(other.layout_);
    block_ = std::move(other.block_);
  }
  pixels_ = static_cast<std::uint8_t*>(block_.Get());
  other.pixels_ = static_cast<std::uint8_t*>(other.block_.Get());
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
