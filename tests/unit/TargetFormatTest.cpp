// The choice of conversion target for every row of the resulting-depth rules, including
// the rows an imaging component without some conversions cannot run end to end.
#include <gtest/gtest.h>

#include <cstring>

#include "decode/PixelFormatGuids.h"
#include "decode/PixelFormatTable.h"
#include "decode/TargetFormat.h"

namespace quorvel {
namespace {

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

struct Row {
  const char* name;
  const GUID& frame;
  bool paletteAlpha;
  const GUID& unturned;
  const GUID& turned;
};

TEST(TargetFormat, FollowsTheResultingDepthRulesForEveryKindOfFrame) {
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  const Row rows[] = {
      // Indexed, grey and black-and-white keep their depth (2 bits become 4); turned, 8-bit indexed.
      {"1bppIndexed", kPixelFormat1bppIndexed, false, kPixelFormat1bppIndexed, kPixelFormat8bppIndexed},
      {"2bppIndexed", kPixelFormat2bppIndexed, false, kPixelFormat4bppIndexed, kPixelFormat8bppIndexed},
      {"4bppIndexed", kPixelFormat4bppIndexed, false, kPixelFormat4bppIndexed, kPixelFormat8bppIndexed},
      {"8bppIndexed", kPixelFormat8bppIndexed, false, kPixelFormat8bppIndexed, kPixelFormat8bppIndexed},
      {"BlackWhite", kPixelFormatBlackWhite, false, kPixelFormatBlackWhite, kPixelFormat8bppIndexed},
      {"2bppGray", kPixelFormat2bppGray, false, kPixelFormat4bppGray, kPixelFormat8bppIndexed},
      {"4bppGray", kPixelFormat4bppGray, false, kPixelFormat4bppGray, kPixelFormat8bppIndexed},
      {"8bppGray", kPixelFormat8bppGray, false, kPixelFormat8bppGray, kPixelFormat8bppIndexed},
      // A palette with alpha makes any indexed frame 32-bit BGRA.
      {"8bppIndexed with palette alpha", kPixelFormat8bppIndexed, true, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"1bppIndexed with palette alpha", kPixelFormat1bppIndexed, true, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      // 5-5-5 is a DIB format of its own, turned as it is.
      {"16bppBGR555", kPixelFormat16bppBGR555, false, kPixelFormat16bppBGR555, kPixelFormat16bppBGR555},
      // The other 16-bit formats: 24-bit, and 32bppBGR when turned (keeps every level).
      {"16bppBGR565", kPixelFormat16bppBGR565, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"16bppGray", kPixelFormat16bppGray, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"16bppGrayFixedPoint", kPixelFormat16bppGrayFixedPoint, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"16bppGrayHalf", kPixelFormat16bppGrayHalf, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      // Everything else without alpha.
      // 24-bit RGB is turned as 24-bit BGR, without a detour through 32 bits.
      {"24bppRGB", kPixelFormat24bppRGB, false, kPixelFormat24bppBGR, kPixelFormat24bppBGR},
      {"24bppBGR", kPixelFormat24bppBGR, false, kPixelFormat24bppBGR, kPixelFormat24bppBGR},
      {"32bppBGR", kPixelFormat32bppBGR, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"48bppRGB", kPixelFormat48bppRGB, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"32bppCMYK", kPixelFormat32bppCMYK, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      {"32bppRGBE", kPixelFormat32bppRGBE, false, kPixelFormat24bppBGR, kPixelFormat32bppBGR},
      // Formats with alpha.
      {"32bppBGRA", kPixelFormat32bppBGRA, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"32bppPBGRA", kPixelFormat32bppPBGRA, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"32bppRGBA", kPixelFormat32bppRGBA, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"64bppRGBA", kPixelFormat64bppRGBA, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"16bppBGRA5551", kPixelFormat16bppBGRA5551, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      {"8bppAlpha", kPixelFormat8bppAlpha, false, kPixelFormat32bppBGRA, kPixelFormat32bppBGRA},
      // Formats missing from the table: 24-bit, or 8-bit indexed when turned.
      {"unknown", unknown, false, kPixelFormat24bppBGR, kPixelFormat8bppIndexed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const PixelFormatEntry& entry = LookUpPixelFormat(row.frame);
    const bool alpha = entry.hasAlpha || row.paletteAlpha;
    EXPECT_TRUE(Same(ChooseTargetFormat(row.frame, entry, alpha, 0), row.unturned));
    for (std::uint32_t rotation = 1; rotation <= 3; ++rotation)
      EXPECT_TRUE(Same(ChooseTargetFormat(row.frame, entry, alpha, rotation), row.turned)) << rotation;
  }
}

TEST(TargetFormat, TheFallbackIsThirtyTwoBitBgrWithOrWithoutAlpha) {
  EXPECT_TRUE(Same(FallbackTargetFormat(true), kPixelFormat32bppBGRA));
  EXPECT_TRUE(Same(FallbackTargetFormat(false), kPixelFormat32bppBGR));
}

}  // namespace
}  // namespace quorvel
