// The 32-to-24-bit step with the alpha settings: compositing arithmetic, its fast paths,
// the background colour, and removal when the setting says so.
#include <gtest/gtest.h>

#include <cstring>

#include "TestEnvironment.h"
#include "decode/DibOutput.h"
#include "settings/SettingsStore.h"

namespace quorvel {
namespace {

using testsupport::CleanSettings;

struct Pixel {
  std::uint8_t b, g, r, a;
};

// One row of 32-bit pixels reduced with hasAlpha; the 24-bit results.
std::vector<std::uint8_t> Reduce(const std::vector<Pixel>& row) {
  SpareBlock spare;
  WorkBitmap b;
  EXPECT_EQ(b.Allocate(static_cast<std::uint32_t>(row.size()), 1, 32, {}, spare), kResultSuccess);
  std::memcpy(b.Pixels(), row.data(), 4 * row.size());
  EXPECT_EQ(ReduceTo24Bits(b, spare, true), kResultSuccess);
  return std::vector<std::uint8_t>(b.Pixels(), b.Pixels() + 3 * row.size());
}

// (src * a + bg * (255 - a)) / 255, truncated.
std::uint8_t Blend(unsigned src, unsigned bg, unsigned a) { return static_cast<std::uint8_t>((src * a + bg * (255 - a)) / 255); }

TEST(Compositing, BlendsOnWhiteByDefault) {
  const CleanSettings settings;
  EXPECT_EQ(Reduce({{0, 0, 255, 128}}), (std::vector<std::uint8_t>{127, 127, 255}));
  EXPECT_EQ(Reduce({{10, 20, 30, 0}}), (std::vector<std::uint8_t>{255, 255, 255})) << "alpha 0: the background";
  EXPECT_EQ(Reduce({{10, 20, 30, 255}}), (std::vector<std::uint8_t>{10, 20, 30})) << "alpha 255: the source";
}

TEST(Compositing, TheDivisionTruncatesAndUsesTheChosenColour) {
  const CleanSettings settings;
  settings.SetDword(kValueAlpha, 1);
  settings.SetDword(kValueColor, 0x00FF8040);  // blue 0xFF, green 0x80, red 0x40
  const auto out = Reduce({{100, 100, 100, 1}, {0, 0, 0, 0}});
  EXPECT_EQ(out[0], 254) << "100 on 255 with alpha 1";
  EXPECT_EQ(out[1], Blend(100, 0x80, 1));
  EXPECT_EQ(out[2], Blend(100, 0x40, 1));
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 3, out.end()), (std::vector<std::uint8_t>{0xFF, 0x80, 0x40}));
}

TEST(Compositing, EveryAlphaOfEveryWidthComesOutExactly) {
  const CleanSettings settings;
  settings.SetDword(kValueColor, 0x00336699);
  for (std::size_t width = 1; width <= 7; ++width) {
    for (unsigned a = 0; a < 256; a += 15) {
      std::vector<Pixel> row;
      for (std::size_t x = 0; x < width; ++x)
        row.push_back({static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(255 - x * 30),
                       static_cast<std::uint8_t>(a), static_cast<std::uint8_t>((a + x * 85) % 256)});
      const auto out = Reduce(row);
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned alpha = row[x].a;
        // COLORREF 0x00BBGGRR: blue 0x33, green 0x66, red 0x99.
        ASSERT_EQ(out[3 * x + 0], Blend(row[x].b, 0x33, alpha)) << width << " " << x;
        ASSERT_EQ(out[3 * x + 1], Blend(row[x].g, 0x66, alpha));
        ASSERT_EQ(out[3 * x + 2], Blend(row[x].r, 0x99, alpha));
      }
    }
  }
}

TEST(Compositing, AnAlphaSettingOtherThanOneRemovesTheAlphaByte) {
  const CleanSettings settings;
  for (DWORD mode : {0u, 2u}) {
    settings.SetDword(kValueAlpha, mode);
    EXPECT_EQ(Reduce({{0, 0, 255, 128}, {1, 2, 3, 0}}), (std::vector<std::uint8_t>{0, 0, 255, 1, 2, 3})) << mode;
  }
}

TEST(Compositing, WithoutAlphaTheSettingsAreNotConsulted) {
  const CleanSettings settings;
  settings.SetDword(kValueAlpha, 1);
  settings.SetDword(kValueColor, 0);
  SpareBlock spare;
  WorkBitmap b;
  ASSERT_EQ(b.Allocate(1, 1, 32, {}, spare), kResultSuccess);
  const Pixel p{7, 8, 9, 0};
  std::memcpy(b.Pixels(), &p, 4);
  ASSERT_EQ(ReduceTo24Bits(b, spare, false), kResultSuccess);
  EXPECT_EQ(std::vector<std::uint8_t>(b.Pixels(), b.Pixels() + 3), (std::vector<std::uint8_t>{7, 8, 9}));
}

}  // namespace
}  // namespace quorvel
