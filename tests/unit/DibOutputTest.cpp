// The DIB output stage without settings: the bottom-up flip, alpha removal with the
// row-end store rules, and BuildDib's two blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "PixelTestSupport.h"
#include "decode/DibOutput.h"
#include "decode/ParallelForRows.h"

namespace quorvel {
namespace {

using testing_pixels::Filled;

TEST(FlipRowsBottomUp, ReversesWholeStridesPaddingIncluded) {
  for (std::uint32_t bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
    WorkBitmap b = Filled(5, 7, bits >= 8 ? bits : 8);
    if (bits < 8) {
      // Reinterpret as a 1- or 4-bit layout of the same rows: the flip never looks at pixels.
      SpareBlock s;
      WorkBitmap low;
      ASSERT_EQ(low.Allocate(5, 7, bits, {}, s), kResultSuccess);
      for (std::size_t i = 0; i < low.Layout()->stride * 7; ++i) low.Pixels()[i] = static_cast<std::uint8_t>(i * 13);
      b.Adopt(low, s);
    }
    const std::size_t stride = b.Layout()->stride;
    std::vector<std::uint8_t> before(b.Pixels(), b.Pixels() + stride * 7);
    SpareBlock spare;
    ASSERT_EQ(FlipRowsBottomUp(b, spare), kResultSuccess);
    for (std::size_t y = 0; y < 7; ++y)
      EXPECT_EQ(std::memcmp(b.Pixels() + y * stride, before.data() + (6 - y) * stride, stride), 0) << bits << " row " << y;
    EXPECT_EQ(b.Layout()->palette.size(), bits <= 8 ? (std::size_t{1} << bits) : 0);
  }
}

TEST(FlipRowsBottomUp, RecyclesTheFreedBlockThroughTheSpareSlot) {
  WorkBitmap b = Filled(40, 30, 32);
  const HLOCAL first = b.Block();
  SpareBlock spare;
  ASSERT_EQ(FlipRowsBottomUp(b, spare), kResultSuccess);
  EXPECT_EQ(spare.Get(), first) << "the picture's former block is kept for the next step";
  const HLOCAL second = b.Block();
  ASSERT_EQ(FlipRowsBottomUp(b, spare), kResultSuccess);
  EXPECT_EQ(b.Block(), first) << "the next step of the same size allocates nothing";
  EXPECT_EQ(spare.Get(), second);
}

TEST(ReduceTo24Bits, RemovingAlphaKeepsExactlyTheColourBytesOfEveryRow) {
  for (std::uint32_t w = 1; w <= 9; ++w) {
    WorkBitmap b = Filled(w, 5, 32, w);
    std::vector<std::uint8_t> source(b.Pixels(), b.Pixels() + b.Layout()->stride * 5);
    SpareBlock spare;
    ASSERT_EQ(ReduceTo24Bits(b, spare, false), kResultSuccess);
    const BitmapLayout& out = *b.Layout();
    ASSERT_EQ(out.bitCount, 24u);
    ASSERT_EQ(out.stride, (3 * w + 3) & ~3u);
    for (std::uint32_t y = 0; y < 5; ++y)
      for (std::uint32_t x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(b.Pixels()[y * out.stride + 3 * x + c], source[y * 4 * w + 4 * x + c]) << w << "," << x << "," << y;
  }
}

TEST(ReduceTo24Bits, NeverStoresPastARowWhereRowsRunInParallel) {
  // Every row is converted by the same code, so what the last row leaves of the block's
  // slack shows what any row leaves of its neighbour: in the build whose rows run on
  // several threads nothing past a row's last byte may be written.
  for (std::uint32_t h : {1u, 4u})
    for (std::uint32_t w = 1; w <= 5; ++w) {
      WorkBitmap b = Filled(w, h, 32);
      const std::size_t stride = (3 * w + 3) & ~3u;
      SpareBlock spare(LocalAlloc(LMEM_FIXED, stride * h + 4));
      std::memset(spare.Get(), 0xA5, stride * h + 4);
      ASSERT_EQ(ReduceTo24Bits(b, spare, false), kResultSuccess);
      if (!kRowsMayRunInParallel) continue;  // one thread: the next row's pass overwrites any spill
      for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(b.Pixels()[h * stride + i], 0xA5) << "width " << w << ", height " << h;
    }
}

TEST(ReduceTo24Bits, RefusesOtherDepthsAndEmptyBitmaps) {
  SpareBlock spare;
  for (std::uint32_t bits : {8u, 16u, 24u}) {
    WorkBitmap b = Filled(3, 3, bits);
    const HLOCAL block = b.Block();
    EXPECT_EQ(ReduceTo24Bits(b, spare, false), kResultInternalError);
    EXPECT_EQ(ReduceTo24Bits(b, spare, true), kResultInternalError);
    EXPECT_EQ(b.Block(), block);
  }
  WorkBitmap empty;
  EXPECT_EQ(ReduceTo24Bits(empty, spare, false), kResultInternalError);
  EXPECT_EQ(FlipRowsBottomUp(empty, spare), kResultInternalError);
}

TEST(BuildDib, HeaderSizeAndColourCountFollowTheDepth) {
  struct Case {
    std::uint32_t bits;
    std::size_t colors;
  };
  for (const Case c : {Case{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {32, 0}}) {
    SpareBlock spare;
    WorkBitmap b;
    ASSERT_EQ(b.Allocate(7, 3, c.bits, {0x00112233, 0x00445566}, spare), kResultSuccess);
    const HLOCAL pixels = b.Block();
    LocalBlock info, bits;
    ASSERT_EQ(BuildDib(info, bits, b), kResultSuccess);
    EXPECT_EQ(bits.Get(), pixels) << "handed over without a copy";
    EXPECT_EQ(b.Layout(), nullptr);
    EXPECT_FALSE(b.Owns());
    ASSERT_EQ(LocalSize(info.Get()), 44 + 4 * c.colors) << c.bits;
    const auto* h = static_cast<const BITMAPINFOHEADER*>(info.Get());
    EXPECT_EQ(h->biSize, 40u);
    EXPECT_EQ(h->biWidth, 7);
    EXPECT_EQ(h->biHeight, 3);
    EXPECT_EQ(h->biPlanes, 1);
    EXPECT_EQ(h->biBitCount, c.bits);
    EXPECT_EQ(h->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h->biSizeImage, 0u);
    EXPECT_EQ(h->biXPelsPerMeter, 0);
    EXPECT_EQ(h->biYPelsPerMeter, 0);
    EXPECT_EQ(h->biClrUsed, c.colors);
    EXPECT_EQ(h->biClrImportant, 0u);
    const auto* table = reinterpret_cast<const std::uint32_t*>(h + 1);
    if (c.colors) {
      EXPECT_EQ(table[0], 0x00112233u);
      EXPECT_EQ(table[1], 0x00445566u);
      EXPECT_EQ(table[c.colors - 1], c.colors > 2 ? 0x00FFFFFFu : 0x00445566u) << "short palettes end in white";
    } else {
      EXPECT_EQ(table[0], 0u) << "the built-in colour entry is zero";
    }
  }
}

TEST(BuildDib, ReplacesWhatTheSlotsHeldAndRefusesAnEmptyBitmap) {
  SpareBlock spare;
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(2, 2, 24, {}, spare), kResultSuccess);
  LocalBlock info(LocalAlloc(LMEM_FIXED, 8)), bits(LocalAlloc(LMEM_FIXED, 8));
  ASSERT_EQ(BuildDib(info, bits, b), kResultSuccess);
  EXPECT_EQ(LocalSize(info.Get()), 44u);
  WorkBitmap empty;
  EXPECT_EQ(BuildDib(info, bits, empty), kResultInternalError);
}

TEST(ParallelForRows, CoversEveryRowExactlyOnceInIncreasingOrderWithinEachRange) {
  struct Seen {
    std::vector<std::uint8_t> count;
    std::vector<std::uint32_t> threads;
  };
  for (int rows : {0, 1, 2, 7, 100, 1001}) {
    Seen seen{std::vector<std::uint8_t>(rows), std::vector<std::uint32_t>(rows)};
    RowBody body = [](int lo, int hi, const RowJob*, const void* c) {
      auto* s = static_cast<Seen*>(const_cast<void*>(c));
      for (int r = lo; r < hi; ++r) {
        s->count[r]++;
        s->threads[r] = GetCurrentThreadId();
      }
    };
    ParallelForRows(rows, body, nullptr, &seen);
    for (int r = 0; r < rows; ++r) ASSERT_EQ(seen.count[r], 1) << rows << " rows, row " << r;
  }
}

TEST(ParallelForRows, UsesTheRuntimeInTheThirtyTwoBitBuildWhenItIsInstalled) {
  char overrides[256] = {};
  GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof(overrides));
  const bool runtimeDisabled = std::strstr(overrides, "vcomp120=d") != nullptr;
  if (!kRowsMayRunInParallel) {
    EXPECT_FALSE(ParallelRuntimeAvailable());
    return;
  }
  EXPECT_EQ(ParallelRuntimeAvailable(), !runtimeDisabled);
  if (runtimeDisabled) return;
  std::vector<DWORD> threads(64);
  RowBody body = [](int lo, int hi, const RowJob*, const void* c) {
    auto* t = static_cast<DWORD*>(const_cast<void*>(c));
    for (int r = lo; r < hi; ++r) t[r] = GetCurrentThreadId();
    Sleep(5);
  };
  ParallelForRows(64, body, nullptr, threads.data());
  std::sort(threads.begin(), threads.end());
  const auto distinct = std::unique(threads.begin(), threads.end()) - threads.begin();
  // More threads than processors would only take turns on them.
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  int processors = 0;
  for (; process != 0; process &= process - 1) ++processors;
  EXPECT_LE(distinct, std::min(processors, 8));
  if (processors > 1) {
    EXPECT_GT(distinct, 1) << "rows ran on several threads";
  }
}

}  // namespace
}  // namespace quorvel
