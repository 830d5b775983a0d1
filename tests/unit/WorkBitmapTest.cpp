// The delivered bitmap: stride and palette sizing, the slack, overflow-checked sizes and
// the zeroed row padding.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "decode/WorkBitmap.h"

namespace quorvel {
namespace {

TEST(WorkBitmap, StrideRoundsEachRowUpToFourBytes) {
  struct Case {
    std::uint32_t width, bits;
    std::size_t stride;
  };
  for (const Case c : {Case{1, 24, 4}, {2, 24, 8}, {3, 24, 12}, {4, 24, 12}, {5, 24, 16}, {3, 8, 4}, {1, 1, 4},
                       {33, 1, 8}, {7, 4, 4}, {9, 4, 8}, {1, 32, 4}, {5, 32, 20}, {3, 16, 8}, {1, 48, 8}}) {
    EXPECT_EQ(RowStride(c.width, c.bits), c.stride) << c.width << " x " << c.bits;
  }
}

TEST(WorkBitmap, AllocateSizesThePaletteExactly) {
  WorkBitmap one;
  ASSERT_EQ(one.Allocate(3, 2, 1, {}), kResultSuccess);
  EXPECT_EQ(one.Layout()->palette, (std::vector<std::uint32_t>{0x00FFFFFF, 0x00FFFFFF}));

  std::vector<std::uint32_t> many(300);
  for (std::uint32_t i = 0; i < 300; ++i) many[i] = i;
  WorkBitmap eight;
  ASSERT_EQ(eight.Allocate(3, 2, 8, many), kResultSuccess);
  ASSERT_EQ(eight.Layout()->palette.size(), 256u);
  EXPECT_EQ(eight.Layout()->palette[255], 255u);

  WorkBitmap four;
  ASSERT_EQ(four.Allocate(3, 2, 4, {0x112233}), kResultSuccess);
  ASSERT_EQ(four.Layout()->palette.size(), 16u);
  EXPECT_EQ(four.Layout()->palette[0], 0x112233u);
  EXPECT_EQ(four.Layout()->palette[1], 0x00FFFFFFu);

  WorkBitmap deep;
  ASSERT_EQ(deep.Allocate(3, 2, 24, many), kResultSuccess);
  EXPECT_TRUE(deep.Layout()->palette.empty()) << "no palette above 8 bits";
}

TEST(WorkBitmap, BlocksCarryFourBytesOfSlack) {
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(3, 2, 8, {}), kResultSuccess);
  EXPECT_EQ(b.Layout()->stride, 4u);
  EXPECT_GE(LocalSize(b.Block()), 4u * 2 + 4);
  EXPECT_EQ(b.Pixels(), static_cast<std::uint8_t*>(b.Block()));
}

TEST(WorkBitmap, SizesThatDoNotFitTheAddressSpaceAreOutOfMemory) {
  WorkBitmap b;
  const std::uint32_t most = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(b.Allocate(most, most, 32, {}), kResultOutOfMemory);
  EXPECT_EQ(b.Layout(), nullptr) << "the bitmap keeps its old (empty) state";
  // stride * height + 4 wraps in 32 bits but not in 64: refused in 32-bit, tried in 64-bit.
  const auto stride = RowStride(65536, 32);
  ASSERT_TRUE(stride);
  const auto bytes = BlockBytes(*stride, 65537);
  if (sizeof(std::size_t) == 4) {
    EXPECT_FALSE(bytes) << "262144 * 65537 + 4 does not fit in 32 bits";
  } else {
    EXPECT_EQ(*bytes, std::size_t{262144} * 65537 + 4);
  }
  EXPECT_FALSE(BlockBytes(std::numeric_limits<std::size_t>::max() / 2, 3));
  EXPECT_FALSE(BlockBytes(std::numeric_limits<std::size_t>::max() - 3, 1)) << "the slack itself may overflow";
  EXPECT_FALSE(RowStride(1, 0));
}

TEST(WorkBitmap, ClearPaddingZeroesEverythingButThePixels) {
  struct Case {
    std::uint32_t bits;
    std::uint8_t lastPixelByte;  // 0xA5 with the bits after the fifth pixel cleared
  };
  for (const Case c : {Case{1, 0xA0}, {2, 0x80}, {4, 0xA0}, {8, 0xA5}, {24, 0xA5}}) {
    WorkBitmap b;
    ASSERT_EQ(b.Allocate(5, 3, c.bits, {}), kResultSuccess);
    const std::size_t stride = b.Layout()->stride, used = (5 * c.bits + 7) / 8;
    std::memset(b.Pixels(), 0xA5, stride * 3 + 4);
    b.ClearPadding();
    for (std::size_t i = 0; i < stride * 3 + 4; ++i) {
      const std::size_t column = i % stride;
      const bool row = i < stride * 3;
      const std::uint8_t expected = !row || column >= used ? 0 : column == used - 1 ? c.lastPixelByte : 0xA5;
      ASSERT_EQ(b.Pixels()[i], expected) << c.bits << " bits, byte " << i;
    }
  }
}

}  // namespace
}  // namespace quorvel
