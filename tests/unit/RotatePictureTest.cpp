// The rotation kernels against plain coordinate mappings, over odd sizes and all three
// element widths, plus the checks RotatePicture makes before turning anything.
#include <gtest/gtest.h>

#include "FailingAllocator.h"
#include "PixelTestSupport.h"
#include "decode/DibOutput.h"
#include "decode/ParallelForRows.h"
#include "decode/RotatePicture.h"

namespace quorvel {
namespace {

using testing_pixels::ElementAt;
using testing_pixels::Filled;
using testing_pixels::Pattern;

// Reference mappings in top-down coordinates; D is w' x h', A the source (W x H).
std::uint32_t Expected(std::uint32_t rotation, std::uint32_t j, std::uint32_t k, std::uint32_t w, std::uint32_t h,
                       std::uint32_t elementBits) {
  std::uint32_t v = 0;
  switch (rotation) {
    case 1: v = Pattern(k, h - 1 - j); break;          // D[k][j] = A[H-1-j][k]
    case 2: v = Pattern(w - 1 - j, h - 1 - k); break;  // D[k][j] = A[H-1-k][W-1-j]
    case 3: v = Pattern(w - 1 - k, j); break;          // D[k][j] = A[j][W-1-k]
  }
  return elementBits == 32 ? v : v & ((1u << elementBits) - 1);
}

TEST(RotatePicture, TurnsTheThreeByTwoExampleForEveryElementWidth) {
  // Rows [a b c] and [d e f].
  for (std::uint32_t bits : {8u, 16u, 32u}) {
    SCOPED_TRACE(bits);
    const std::uint32_t a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
    auto make = [&] {
      WorkBitmap m;
      SpareBlock s;
      EXPECT_EQ(m.Allocate(3, 2, bits, {}, s), kResultSuccess);
      const std::uint32_t values[2][3] = {{a, b, c}, {d, e, f}};
      for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 3; ++x) std::memcpy(m.Pixels() + y * m.Layout()->stride + x * bits / 8, &values[y][x], bits / 8);
      return m;
    };
    auto rows = [&](const WorkBitmap& m) {
      std::vector<std::vector<std::uint32_t>> out(m.Layout()->height);
      for (std::uint32_t y = 0; y < m.Layout()->height; ++y)
        for (std::uint32_t x = 0; x < m.Layout()->width; ++x) out[y].push_back(ElementAt(m, x, y));
      return out;
    };
    using Rows = std::vector<std::vector<std::uint32_t>>;
    SpareBlock spare;
    WorkBitmap cw = make();
    ASSERT_EQ(RotatePicture(cw, 1, spare), kResultSuccess);
    EXPECT_EQ(rows(cw), (Rows{{d, a}, {e, b}, {f, c}}));
    WorkBitmap half = make();
    ASSERT_EQ(RotatePicture(half, 2, spare), kResultSuccess);
    EXPECT_EQ(rows(half), (Rows{{f, e, d}, {c, b, a}}));
    WorkBitmap ccw = make();
    ASSERT_EQ(RotatePicture(ccw, 3, spare), kResultSuccess);
    EXPECT_EQ(rows(ccw), (Rows{{c, f}, {b, e}, {a, d}}));
  }
}

TEST(RotatePicture, MatchesTheCoordinateMappingOnOddSizes) {
  for (std::uint32_t bits : {8u, 16u, 32u})
    for (std::uint32_t rotation = 1; rotation <= 3; ++rotation)
      for (std::uint32_t w = 1; w <= 67; w += (w < 12 ? 1 : 5))
        for (std::uint32_t h = 1; h <= 9; ++h) {
          WorkBitmap bitmap = Filled(w, h, bits);
          SpareBlock spare;
          ASSERT_EQ(RotatePicture(bitmap, rotation, spare), kResultSuccess);
          const BitmapLayout& out = *bitmap.Layout();
          const std::uint32_t w2 = rotation == 2 ? w : h, h2 = rotation == 2 ? h : w;
          ASSERT_EQ(out.width, w2);
          ASSERT_EQ(out.height, h2);
          ASSERT_EQ(out.stride, *RowStride(w2, bits));
          for (std::uint32_t k = 0; k < h2; ++k)
            for (std::uint32_t j = 0; j < w2; ++j)
              ASSERT_EQ(ElementAt(bitmap, j, k), Expected(rotation, j, k, w, h, bits))
                  << bits << " bits, rotation " << rotation << ", " << w << " x " << h << " at " << j << "," << k;
        }
}

TEST(RotatePicture, QuarterTurnsRecomputeTheStride) {
  SpareBlock spare;
  WorkBitmap eight = Filled(3, 2, 8);
  ASSERT_EQ(RotatePicture(eight, 1, spare), kResultSuccess);
  EXPECT_EQ(eight.Layout()->width, 2u);
  EXPECT_EQ(eight.Layout()->stride, 4u);
  WorkBitmap column = Filled(1, 5, 32);
  ASSERT_EQ(RotatePicture(column, 3, spare), kResultSuccess);
  EXPECT_EQ(column.Layout()->width, 5u);
  EXPECT_EQ(column.Layout()->height, 1u);
  EXPECT_EQ(column.Layout()->stride, 20u);
}

TEST(RotatePicture, KeepsThePaletteOfAnIndexedPicture) {
  WorkBitmap b = Filled(5, 3, 8);
  const auto palette = b.Layout()->palette;
  SpareBlock spare;
  for (std::uint32_t rotation = 1; rotation <= 3; ++rotation) {
    ASSERT_EQ(RotatePicture(b, rotation, spare), kResultSuccess);
    EXPECT_EQ(b.Layout()->palette, palette);
  }
}

TEST(RotatePicture, RefusesWhatItCannotTurnAndLeavesThePictureAsItWas) {
  SpareBlock spare;
  for (std::uint32_t bits : {1u, 4u, 24u, 48u}) {
    WorkBitmap refused;
    ASSERT_EQ(refused.Allocate(4, 3, bits, {}, spare), kResultSuccess);
    const HLOCAL block = refused.Block();
    for (std::uint32_t rotation = 1; rotation <= 3; ++rotation) {
      EXPECT_EQ(RotatePicture(refused, rotation, spare), kResultInternalError) << bits;
      EXPECT_EQ(refused.Block(), block);
      EXPECT_EQ(refused.Layout()->bitCount, bits);
    }
    EXPECT_EQ(RotatePicture(refused, 0, spare), kResultSuccess) << "nothing to do is not a failure";
  }
  WorkBitmap b = Filled(4, 3, 32);
  const HLOCAL block = b.Block();
  EXPECT_EQ(RotatePicture(b, 4, spare), kResultInternalError);
  EXPECT_EQ(RotatePicture(b, 0xFFFFFFFF, spare), kResultInternalError);
  EXPECT_EQ(RotatePicture(b, 0, spare), kResultSuccess);
  EXPECT_EQ(b.Block(), block) << "rotation 0 touches nothing";
  EXPECT_FALSE(spare);

  WorkBitmap empty;
  for (std::uint32_t rotation : {0u, 1u, 2u, 3u, 7u}) EXPECT_EQ(RotatePicture(empty, rotation, spare), kResultInternalError);
}

TEST(RotatePicture, TakesTheSpareBlockWhenItIsLargeEnough) {
  WorkBitmap b = Filled(6, 4, 32);
  const HLOCAL former = b.Block();
  SpareBlock spare(LocalAlloc(LMEM_FIXED, 24 * 6 + 4 + 100));
  const HLOCAL spareBlock = spare.Get();
  ASSERT_EQ(RotatePicture(b, 1, spare), kResultSuccess);
  EXPECT_EQ(b.Block(), spareBlock);
  EXPECT_EQ(spare.Get(), former) << "the slot holds the bitmap's former block";
}

TEST(RotatePicture, ARowListThatCannotBeMadeIsOutOfMemoryAndChangesNothing) {
  for (std::uint32_t rotation = 1; rotation <= 3; ++rotation) {
    WorkBitmap b = Filled(9, 7, 16);
    const HLOCAL block = b.Block();
    const std::uint64_t before = testing_pixels::Digest(b);
    SpareBlock spare(LocalAlloc(LMEM_FIXED, 4096));
    const HLOCAL spareBlock = spare.Get();
    testsupport::FailAllocationsAfter(0);
    const ResultCode r = RotatePicture(b, rotation, spare);
    const ResultCode flipped = FlipRowsBottomUp(b, spare);
    testsupport::StopFailingAllocations();
    EXPECT_EQ(r, kResultOutOfMemory);
    EXPECT_EQ(flipped, kResultOutOfMemory);
    EXPECT_EQ(b.Block(), block);
    EXPECT_EQ(testing_pixels::Digest(b), before);
    EXPECT_EQ(spare.Get(), spareBlock) << "the spare slot keeps its block";
  }
}

TEST(RotatePicture, GivesTheSameDigestInBothBuilds) {
  // One digest over every kernel's output on fixed inputs; the same constant is expected
  // from the 32-bit build (rows on worker threads) and the 64-bit build (one thread).
  std::uint64_t h = 0;
  for (std::uint32_t bits : {8u, 16u, 32u})
    for (std::uint32_t rotation = 1; rotation <= 3; ++rotation) {
      WorkBitmap b = Filled(37, 23, bits, rotation);
      SpareBlock spare;
      ASSERT_EQ(RotatePicture(b, rotation, spare), kResultSuccess);
      h = h * 31 + testing_pixels::Digest(b);
    }
  RecordProperty("digest", std::to_string(h));
  EXPECT_EQ(h, 6738788615784894353ull) << "digest " << h;
}

}  // namespace
}  // namespace quorvel
