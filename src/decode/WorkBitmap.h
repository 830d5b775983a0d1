// The picture between the copy out of the imaging component and the hand-over to the
// host: a layout (geometry and palette) and one LMEM_FIXED block of rows. Pixel steps
// build their output in a fresh WorkBitmap and install it with Adopt; a spare block slot
// passed through all steps lets a step reuse the block the previous step freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/Owners.h"
#include "plugin/ResultCode.h"

namespace quorvel {

struct BitmapLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitCount = 0;
  std::size_t stride = 0;  // row bytes rounded up to a multiple of 4
  std::vector<std::uint32_t> palette;  // 0xAARRGGBB; 2^bitCount entries for <= 8 bits, else empty
};

// The spare block slot: at most one block, owned by the picture's decoder.
using SpareBlock = LocalBlock;

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
  bool Owns() const noexcept { return block_.IsValid(); }

  // New layout and a block of at least stride * height + 4 bytes, taken from the spare
  // slot when it is large enough. 0, or 4 when memory runs out or the size does not fit
  // (the bitmap keeps its old state when the layout cannot be made).
  ResultCode Allocate(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                      const std::vector<std::uint32_t>& palette, SpareBlock& spare) noexcept;

  // Takes other's layout and block; this bitmap's former block goes to the spare slot if
  // it is larger than what the slot holds, and is freed otherwise.
  void Adopt(WorkBitmap& other, SpareBlock& spare) noexcept;

  // Gives up the block (for the hand-over to the host) and the layout.
  HLOCAL ReleaseBlock() noexcept;
  void Clear() noexcept;

 private:
  std::unique_ptr<BitmapLayout> layout_;
  LocalBlock block_;
  std::uint8_t* pixels_ = nullptr;
};

}  // namespace quorvel
