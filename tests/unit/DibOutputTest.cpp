// BuildDib's two blocks: header, colour table, and the pixel block handed over as it is.
#include <gtest/gtest.h>

#include "decode/DibOutput.h"

namespace quorvel {
namespace {

TEST(BuildDib, HeaderSizeAndColourCountFollowTheDepth) {
  struct Case {
    std::uint32_t bits;
    std::size_t colors;
  };
  for (const Case c : {Case{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {32, 0}}) {
    WorkBitmap b;
    ASSERT_EQ(b.Allocate(7, 3, c.bits, {0x00112233, 0x00445566}), kResultSuccess);
    const HLOCAL pixels = b.Block();
    LocalBlock info, bits;
    ASSERT_EQ(BuildDib(info, bits, b), kResultSuccess);
    EXPECT_EQ(bits.Get(), pixels) << "handed over without a copy";
    EXPECT_EQ(b.Layout(), nullptr);
    EXPECT_EQ(b.Block(), nullptr);
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
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(2, 2, 24, {}), kResultSuccess);
  LocalBlock info(LocalAlloc(LMEM_FIXED, 8)), bits(LocalAlloc(LMEM_FIXED, 8));
  ASSERT_EQ(BuildDib(info, bits, b), kResultSuccess);
  EXPECT_EQ(LocalSize(info.Get()), 44u);
  WorkBitmap empty;
  EXPECT_EQ(BuildDib(info, bits, empty), kResultInternalError);
}

}  // namespace
}  // namespace quorvel
