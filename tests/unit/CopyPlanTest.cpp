// The copy's plan without an imaging component: the resulting-depth rules for every kind
// of frame, turned or not, in one table; what the copy does to 32-bit pixels; the size
// limits; the bands.
#include <gtest/gtest.h>

#include <climits>

#include "common/GuidEquality.h"
#include "decode/CopyPlan.h"
#include "decode/PixelFormatGuids.h"

namespace quorvel {
namespace {

FrameDescription Frame(const GUID& format, std::uint32_t rotation = 0, std::uint32_t width = 7, std::uint32_t height = 5) {
  FrameDescription f;
  f.width = width;
  f.height = height;
  f.format = format;
  f.transform.rotation = rotation;
  return f;
}

struct Row {
  const char* name;
  const GUID& frame;
  bool paletteAlpha;
  const GUID& unturned;  // format read
  int unturnedDepth;     // delivered
  const GUID& turned;
  int turnedDepth;
};

TEST(CopyPlan, FollowsTheResultingDepthRulesForEveryKindOfFrame) {
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  const Row rows[] = {
      // Indexed, grey and black-and-white keep their depth (2 bits become 4); turned, 8-bit indexed.
      {"1bppIndexed", kPixelFormat1bppIndexed, false, kPixelFormat1bppIndexed, 1, kPixelFormat8bppIndexed, 8},
      {"2bppIndexed", kPixelFormat2bppIndexed, false, kPixelFormat4bppIndexed, 4, kPixelFormat8bppIndexed, 8},
      {"4bppIndexed", kPixelFormat4bppIndexed, false, kPixelFormat4bppIndexed, 4, kPixelFormat8bppIndexed, 8},
      {"8bppIndexed", kPixelFormat8bppIndexed, false, kPixelFormat8bppIndexed, 8, kPixelFormat8bppIndexed, 8},
      {"BlackWhite", kPixelFormatBlackWhite, false, kPixelFormatBlackWhite, 1, kPixelFormat8bppIndexed, 8},
      {"2bppGray", kPixelFormat2bppGray, false, kPixelFormat4bppGray, 4, kPixelFormat8bppIndexed, 8},
      {"4bppGray", kPixelFormat4bppGray, false, kPixelFormat4bppGray, 4, kPixelFormat8bppIndexed, 8},
      {"8bppGray", kPixelFormat8bppGray, false, kPixelFormat8bppGray, 8, kPixelFormat8bppIndexed, 8},
      // A palette with alpha makes any indexed frame 32-bit BGRA, delivered in 24 bits.
      {"8bppIndexed with palette alpha", kPixelFormat8bppIndexed, true, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"1bppIndexed with palette alpha", kPixelFormat1bppIndexed, true, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      // 5-5-5 is a DIB format of its own, turned as it is.
      {"16bppBGR555", kPixelFormat16bppBGR555, false, kPixelFormat16bppBGR555, 16, kPixelFormat16bppBGR555, 16},
      // The other 16-bit formats: 24-bit, read as 32bppBGR when turned (keeps every level).
      {"16bppBGR565", kPixelFormat16bppBGR565, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"16bppGray", kPixelFormat16bppGray, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"16bppGrayFixedPoint", kPixelFormat16bppGrayFixedPoint, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"16bppGrayHalf", kPixelFormat16bppGrayHalf, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      // Everything else without alpha; 24-bit RGB is turned as 24-bit BGR, without a detour through 32 bits.
      {"24bppRGB", kPixelFormat24bppRGB, false, kPixelFormat24bppBGR, 24, kPixelFormat24bppBGR, 24},
      {"24bppBGR", kPixelFormat24bppBGR, false, kPixelFormat24bppBGR, 24, kPixelFormat24bppBGR, 24},
      {"32bppBGR", kPixelFormat32bppBGR, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"48bppRGB", kPixelFormat48bppRGB, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"32bppCMYK", kPixelFormat32bppCMYK, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      {"32bppRGBE", kPixelFormat32bppRGBE, false, kPixelFormat24bppBGR, 24, kPixelFormat32bppBGR, 24},
      // Formats with alpha.
      {"32bppBGRA", kPixelFormat32bppBGRA, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"32bppPBGRA", kPixelFormat32bppPBGRA, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"32bppRGBA", kPixelFormat32bppRGBA, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"64bppRGBA", kPixelFormat64bppRGBA, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"16bppBGRA5551", kPixelFormat16bppBGRA5551, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      {"8bppAlpha", kPixelFormat8bppAlpha, false, kPixelFormat32bppBGRA, 24, kPixelFormat32bppBGRA, 24},
      // Formats missing from the table: 24-bit, or 8-bit indexed when turned.
      {"unknown", unknown, false, kPixelFormat24bppBGR, 24, kPixelFormat8bppIndexed, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FrameDescription frame = Frame(row.frame);
    frame.paletteAlpha = row.paletteAlpha;
    const CopyPlan unturned = PlanCopy(frame, {});
    ASSERT_EQ(unturned.result, kResultSuccess);
    EXPECT_TRUE(SameGuid(unturned.target, row.unturned));
    EXPECT_EQ(unturned.bitCount, static_cast<std::uint32_t>(row.unturnedDepth));
    EXPECT_EQ(unturned.width, 7u);
    for (std::uint32_t rotation = 1; rotation <= 3; ++rotation) {
      frame.transform.rotation = rotation;
      const CopyPlan turned = PlanCopy(frame, {});
      ASSERT_EQ(turned.result, kResultSuccess) << rotation;
      EXPECT_TRUE(SameGuid(turned.target, row.turned)) << rotation;
      EXPECT_EQ(turned.bitCount, static_cast<std::uint32_t>(row.turnedDepth)) << rotation;
      EXPECT_EQ(turned.width, rotation == 2 ? 7u : 5u) << "quarter turns swap the sides";
    }
    // The fallback: 32-bit BGR(A), which every format converts into, delivered in 24 bits.
    const CopyPlan fallback = PlanCopy(frame, {}, &unturned.fallback);
    EXPECT_TRUE(SameGuid(unturned.fallback, unturned.alpha ? kPixelFormat32bppBGRA : kPixelFormat32bppBGR));
    EXPECT_TRUE(SameGuid(fallback.target, unturned.fallback));
    EXPECT_EQ(fallback.bitCount, 24u);
    EXPECT_FALSE(fallback.HasFallback());
  }
}

TEST(CopyPlan, ThirtyTwoBitPixelsAreCompositedOrStrippedAsTheOptionsSay) {
  PictureOptions remove;
  remove.compositeAlpha = false;
  PictureOptions red;
  red.background = {0, 0, 0xFF};
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat32bppBGRA), {}).op, PixelOp::kComposite32To24);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat32bppBGRA), remove).op, PixelOp::kStrip32To24);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat32bppBGRA), red).background.red, 0xFF);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat32bppBGR, 1), {}).op, PixelOp::kStrip32To24) << "no alpha: the fourth byte goes";
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat24bppBGR), {}).op, PixelOp::kCopy);
}

TEST(CopyPlan, OnlyUnturnedTopDownCopiesGoStraightIntoPlace) {
  FrameDescription frame = Frame(kPixelFormat8bppIndexed);
  EXPECT_FALSE(PlanCopy(frame, {}).direct) << "rows are turned bottom-up on their way";
  frame.transform.keepTopDownRows = true;  // orientation 4
  EXPECT_TRUE(PlanCopy(frame, {}).direct);
  EXPECT_FALSE(PlanCopy(Frame(kPixelFormat32bppBGRA), {}).direct) << "converted on the way";
  EXPECT_EQ(PlanCopy(frame, {}).walk, Walk::kRowsForward);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 1), {}).walk, Walk::kColumnsUpward);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 2), {}).walk, Walk::kRowsBackward);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 3), {}).walk, Walk::kColumnsDownward);
}

TEST(CopyPlan, RefusesWhatCannotBeDescribedInThirtyTwoBits) {
  struct Case {
    std::uint32_t w, h;
    const GUID& format;
    ResultCode expected;
  };
  const Case cases[] = {
      {0, 5, kPixelFormat24bppBGR, kResultUnknownFormat},
      {5, 0, kPixelFormat24bppBGR, kResultUnknownFormat},
      {65536, 65537, kPixelFormat32bppBGRA, kResultOutOfMemory},  // 2^32 + 2^18 bytes: wraps in 32 bits
      {1, 0x80000000u, kPixelFormat8bppGray, kResultOutOfMemory},
      {0xFFFFFFFFu, 1, kPixelFormatBlackWhite, kResultOutOfMemory},
      {65535, 65535, kPixelFormat8bppGray, kResultSuccess},  // just under 2^32 bytes
  };
  for (const Case& c : cases) EXPECT_EQ(PlanCopy(Frame(c.format, 0, c.w, c.h), {}).result, c.expected) << c.w << " x " << c.h;
  FrameDescription bad = Frame(kPixelFormat24bppBGR, 4);
  EXPECT_EQ(PlanCopy(bad, {}).result, kResultInternalError) << "no such rotation";
}

TEST(CopyPlan, BandsStayInTheCachesAndOnlyLargeQuarterTurnsUseTheWorkers) {
  const CopyPlan rows = PlanCopy(Frame(kPixelFormat24bppBGR, 0, 6000, 4000), {});
  EXPECT_EQ(rows.bandRows, 256u * 1024 / 18000) << "a quarter megabyte of rows";
  EXPECT_EQ(rows.parallelFromRows, 0u);
  EXPECT_EQ(rows.sharedBandRows, rows.bandRows);
  const CopyPlan turned = PlanCopy(Frame(kPixelFormat24bppBGR, 1, 6000, 4000), {});
  EXPECT_EQ(turned.bandRows, 3u * 1024 * 1024 / 18000 / 16 * 16) << "about 3 MB, a multiple of 16 rows";
  EXPECT_EQ(turned.parallelFromRows, (512u * 1024 + 17999) / 18000);
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 1, 6000, 4000), {}).sharedBandRows, 64u)
      << "about 384 KB where decoders share the picture";
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 1, 100, 20), {}).bandRows, 20u) << "never more rows than the picture";
  EXPECT_EQ(PlanCopy(Frame(kPixelFormat8bppIndexed, 3, 100000, 600), {}).bandRows, 32u) << "at least 32 rows";
  EXPECT_EQ(rows.readRows, rows.bandRows) << "strips are read a band at a time";
  EXPECT_EQ(turned.sharedReadRows, turned.sharedBandRows);
}

// Tiled frames are read whole rows of tiles at a time, at least a band's worth, never
// more rows than the picture has; the bands the kernels write stay as they were.
TEST(CopyPlan, TiledFramesAreReadInWholeRowsOfTiles) {
  struct Case {
    std::uint32_t rotation, height, tileLength;
  };
  for (const Case c : {Case{0, 4000, 256}, Case{1, 4000, 256}, Case{0, 4000, 16}, Case{1, 4000, 512}, Case{0, 300, 512},
                       Case{3, 4000, 1}, Case{0, 4000, 0xFFFFFFFFu}}) {
    FrameDescription f = Frame(kPixelFormat24bppBGR, c.rotation, 6000, c.height);
    const CopyPlan striped = PlanCopy(f, {});
    f.tiled = true;
    f.stripRows = c.tileLength;
    const CopyPlan p = PlanCopy(f, {});
    SCOPED_TRACE(std::to_string(c.rotation) + " " + std::to_string(c.height) + " " + std::to_string(c.tileLength));
    EXPECT_EQ(p.bandRows, striped.bandRows);
    EXPECT_EQ(p.sharedBandRows, striped.sharedBandRows);
    for (const auto& [read, band] : {std::pair{p.readRows, p.bandRows}, std::pair{p.sharedReadRows, p.sharedBandRows}}) {
      EXPECT_GE(read, band);
      EXPECT_LE(read, c.height);
      if (read < c.height) {
        EXPECT_EQ(read % c.tileLength, 0u) << "whole rows of tiles";
      }
      if (c.tileLength >= band && c.tileLength <= c.height) {
        EXPECT_EQ(read, c.tileLength) << "one row of tiles when a tile is taller than a band";
      }
    }
  }
}

}  // namespace
}  // namespace quorvel
