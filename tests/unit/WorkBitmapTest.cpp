// The working bitmap: stride and palette sizing, the slack, overflow-checked sizes, and
// block recycling through the spare slot.
#include <gtest/gtest.h>

#include <cstdint>
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
  SpareBlock spare;
  WorkBitmap one;
  ASSERT_EQ(one.Allocate(3, 2, 1, {}, spare), kResultSuccess);
  EXPECT_EQ(one.Layout()->palette, (std::vector<std::uint32_t>{0x00FFFFFF, 0x00FFFFFF}));

  std::vector<std::uint32_t> many(300);
  for (std::uint32_t i = 0; i < 300; ++i) many[i] = i;
  WorkBitmap eight;
  ASSERT_EQ(eight.Allocate(3, 2, 8, many, spare), kResultSuccess);
  ASSERT_EQ(eight.Layout()->palette.size(), 256u);
  EXPECT_EQ(eight.Layout()->palette[255], 255u);

  WorkBitmap four;
  ASSERT_EQ(four.Allocate(3, 2, 4, {0x112233}, spare), kResultSuccess);
  ASSERT_EQ(four.Layout()->palette.size(), 16u);
  EXPECT_EQ(four.Layout()->palette[0], 0x112233u);
  EXPECT_EQ(four.Layout()->palette[1], 0x00FFFFFFu);

  WorkBitmap deep;
  ASSERT_EQ(deep.Allocate(3, 2, 24, many, spare), kResultSuccess);
  EXPECT_TRUE(deep.Layout()->palette.empty()) << "no palette above 8 bits";
}

TEST(WorkBitmap, BlocksCarryFourBytesOfSlack) {
  SpareBlock spare;
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(3, 2, 8, {}, spare), kResultSuccess);
  EXPECT_EQ(b.Layout()->stride, 4u);
  EXPECT_GE(LocalSize(b.Block()), 4u * 2 + 4);
  EXPECT_EQ(b.Pixels(), static_cast<std::uint8_t*>(b.Block()));
}

TEST(WorkBitmap, SizesThatDoNotFitTheAddressSpaceAreOutOfMemory) {
  SpareBlock spare;
  WorkBitmap b;
  const std::uint32_t most = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(b.Allocate(most, most, 32, {}, spare), kResultOutOfMemory);
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

TEST(WorkBitmap, AllocateTakesALargeEnoughSpareBlockWithoutAllocating) {
  SpareBlock spare(LocalAlloc(LMEM_FIXED, 1000));
  const HLOCAL spareBlock = spare.Get();
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(10, 10, 32, {}, spare), kResultSuccess);
  EXPECT_EQ(b.Block(), spareBlock) << "40 * 10 + 4 bytes fit in the spare block";
  EXPECT_FALSE(spare) << "the bitmap had no block to give back";

  // A second Allocate: the bitmap's former block goes to the slot.
  SpareBlock big(LocalAlloc(LMEM_FIXED, 5000));
  const HLOCAL bigBlock = big.Get();
  ASSERT_EQ(b.Allocate(10, 10, 32, {}, big), kResultSuccess);
  EXPECT_EQ(b.Block(), bigBlock);
  EXPECT_EQ(big.Get(), spareBlock);
  EXPECT_GT(LocalSize(b.Block()), std::size_t{40} * 10 + 4) << "a recycled block may be larger";

  // A spare block that is too small is left alone.
  SpareBlock small(LocalAlloc(LMEM_FIXED, 16));
  const HLOCAL smallBlock = small.Get();
  WorkBitmap c;
  ASSERT_EQ(c.Allocate(10, 10, 32, {}, small), kResultSuccess);
  EXPECT_EQ(small.Get(), smallBlock);
  EXPECT_NE(c.Block(), smallBlock);
}

TEST(WorkBitmap, AdoptKeepsTheLargerFreedBlockInTheSpareSlot) {
  SpareBlock none;
  WorkBitmap picture, step;
  ASSERT_EQ(picture.Allocate(100, 10, 32, {}, none), kResultSuccess);  // about 4 KB
  ASSERT_EQ(step.Allocate(10, 10, 32, {}, none), kResultSuccess);      // about 400 bytes
  const HLOCAL pictureBlock = picture.Block();
  const HLOCAL stepBlock = step.Block();

  SpareBlock spare(LocalAlloc(LMEM_FIXED, 64));
  picture.Adopt(step, spare);
  EXPECT_EQ(picture.Block(), stepBlock);
  EXPECT_EQ(picture.Layout()->width, 10u);
  EXPECT_EQ(step.Layout(), nullptr);
  EXPECT_FALSE(step.Owns());
  EXPECT_EQ(step.Pixels(), nullptr);
  EXPECT_EQ(spare.Get(), pictureBlock) << "the 4 KB block replaces the 64-byte one";

  // Adopting again with a larger spare: the smaller freed block is freed, not kept.
  WorkBitmap other;
  SpareBlock scratch;
  ASSERT_EQ(other.Allocate(1, 1, 8, {}, scratch), kResultSuccess);
  picture.Adopt(other, spare);
  EXPECT_EQ(spare.Get(), pictureBlock);
}

}  // namespace
}  // namespace quorvel
