// The delivered picture between the copy out of the imaging component and the hand-over
// to the host: a layout (geometry and palette) and the LMEM_FIXED block of rows that the
// host receives as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/Owners.h"
#include "common/ResultCode.h"

namespace quorvel {

struct BitmapLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitCount = 0;
  std::size_t stride = 0;  // row bytes rounded up to a multiple of 4
  std::vector<std::uint32_t> palette;  // 0xAARRGGBB; 2^bitCount entries for <= 8 bits, else empty
};

// Bytes per row for width pixels of bitCount bits, rounded up to 4; none when it does not
// fit in a size_t.
std::optional<std::size_t> RowStride(std::uint32_t width, std::uint32_t bitCount) noexcept;

// Bytes a block needs for a layout: stride * height plus 4 bytes of slack, checked.
std::optional<std::size_t> BlockBytes(std::size_t stride, std::uint32_t height) noexcept;

inline constexpr std::uint32_t kPaletteFill = 0x00FFFFFF;  // white, for missing entries

class WorkBitmap {
 public:
  WorkBitmap() noexcept = default;
  WorkBitmap(const WorkBitmap&) = delete;
  WorkBitmap& operator=(const WorkBitmap&) = delete;
  WorkBitmap(WorkBitmap&& other) noexcept
      : layout_(std::move(other.layout_)), block_(std::move(other.block_)), pixels_(std::exchange(other.pixels_, nullptr)) {}
  WorkBitmap& operator=(WorkBitmap&& other) noexcept {
    layout_ = std::move(other.layout_);
    block_ = std::move(other.block_);
    pixels_ = std::exchange(other.pixels_, nullptr);
    return *this;
  }

  const BitmapLayout* Layout() const noexcept { return layout_.get(); }
  std::uint8_t* Pixels() const noexcept { return pixels_; }
  HLOCAL Block() const noexcept { return block_.Get(); }

  // New layout and a block of stride * height + 4 bytes. 0, or 4 when memory runs out or
  // the size does not fit (the bitmap keeps its old state when the layout cannot be made).
  ResultCode Allocate(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                      const std::vector<std::uint32_t>& palette) noexcept;

  // Zeroes the bits and bytes after each row's last pixel and the block's slack: the copy
  // writes pixels only, and whatever the heap or the imaging component left there would
  // otherwise reach the host.
  void ClearPadding() noexcept;

  // Gives up the block (for the hand-over to the host) and the layout.
  HLOCAL ReleaseBlock() noexcept;
  void Clear() noexcept;

 private:
  std::unique_ptr<BitmapLayout> layout_;
  LocalBlock block_;
  std::uint8_t* pixels_ = nullptr;
};

}  // namespace quorvel
