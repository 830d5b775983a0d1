// Alpha on its way into the 24-bit DIB, through the decoding pipeline over stand-in
// 32-bit frames: compositing arithmetic exact for every alpha and row width (the kernels'
// four-pixel paths and their row ends), the background colour, and removal.
#include <gtest/gtest.h>

#include <vector>

#include "Dib.h"
#include "FakeWic.h"
#include "decode/DecodePicture.h"
#include "decode/DecoderSession.h"
#include "decode/PixelFormatGuids.h"

namespace quorvel {
namespace {

struct Pixel {
  std::uint8_t b, g, r, a;
};

// One row of 32-bit pixels (BGRA, or BGR with an unused fourth byte) decoded with options;
// the delivered 24-bit row.
std::vector<std::uint8_t> Deliver(const std::vector<Pixel>& row, const PictureOptions& options, bool alpha = true) {
  testsupport::FakeFrameSetup setup;
  setup.width = static_cast<UINT>(row.size());
  setup.height = 1;
  setup.format = alpha ? kPixelFormat32bppBGRA : kPixelFormat32bppBGR;
  setup.bitsPerPixel = 32;
  for (const Pixel& p : row) setup.pixels.insert(setup.pixels.end(), {p.b, p.g, p.r, p.a});
  testsupport::FakeCounters counters;
  DecoderSession session;
  ComPtr<IWICBitmapDecoder> decoder;
  *decoder.Put() = testsupport::MakeFakeDecoder(setup, counters);
  HLOCAL info = nullptr, bits = nullptr;
  EXPECT_EQ(DecodePicture(&info, &bits, session.Factory(), decoder.Get(), options, Progress(nullptr, 0), DirectoryFacts{}),
            kResultSuccess);
  hostkit::Dib dib;
  std::vector<std::uint8_t> out;
  if (info && bits && hostkit::ReadDib(info, bits, dib)) {
    EXPECT_EQ(dib.header.biBitCount, 24);
    out.assign(dib.bits.begin(), dib.bits.begin() + 3 * row.size());
  }
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return out;
}

PictureOptions Composite(BackgroundColor background) {
  PictureOptions o;
  o.background = background;
  return o;
}

// (src * a + bg * (255 - a)) / 255, truncated.
std::uint8_t Blend(unsigned src, unsigned bg, unsigned a) { return static_cast<std::uint8_t>((src * a + bg * (255 - a)) / 255); }

TEST(Compositing, BlendsOnTheBackgroundWithATruncatingDivision) {
  EXPECT_EQ(Deliver({{0, 0, 255, 128}}, PictureOptions{}), (std::vector<std::uint8_t>{127, 127, 255})) << "on white";
  EXPECT_EQ(Deliver({{10, 20, 30, 0}, {10, 20, 30, 255}}, PictureOptions{}),
            (std::vector<std::uint8_t>{255, 255, 255, 10, 20, 30}))
      << "alpha 0 shows the background, 255 the source";
  const auto out = Deliver({{100, 100, 100, 1}, {0, 0, 0, 0}}, Composite({0xFF, 0x80, 0x40}));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{254, Blend(100, 0x80, 1), Blend(100, 0x40, 1), 0xFF, 0x80, 0x40}));
}

TEST(Compositing, EveryAlphaOfEveryWidthComesOutExactly) {
  const BackgroundColor background{0x33, 0x66, 0x99};
  for (std::size_t width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 37}) {
    for (unsigned a = 0; a < 256; a += 15) {
      std::vector<Pixel> row;
      for (std::size_t x = 0; x < width; ++x)
        row.push_back({static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(255 - x * 30),
                       static_cast<std::uint8_t>(a), static_cast<std::uint8_t>((a + x * 85) % 256)});
      const auto out = Deliver(row, Composite(background));
      ASSERT_EQ(out.size(), 3 * width);
      for (std::size_t x = 0; x < width; ++x) {
        const unsigned alpha = row[x].a;
        ASSERT_EQ(out[3 * x + 0], Blend(row[x].b, 0x33, alpha)) << width << " " << x;
        ASSERT_EQ(out[3 * x + 1], Blend(row[x].g, 0x66, alpha));
        ASSERT_EQ(out[3 * x + 2], Blend(row[x].r, 0x99, alpha));
      }
    }
  }
}

TEST(Compositing, RemovalKeepsTheColourBytesAndFramesWithoutAlphaIgnoreTheOptions) {
  PictureOptions remove;
  remove.compositeAlpha = false;
  remove.background = {0, 0, 0};
  EXPECT_EQ(Deliver({{0, 0, 255, 128}, {1, 2, 3, 0}}, remove), (std::vector<std::uint8_t>{0, 0, 255, 1, 2, 3}));
  EXPECT_EQ(Deliver({{7, 8, 9, 0}, {1, 2, 3, 77}}, Composite({0, 0, 0}), false), (std::vector<std::uint8_t>{7, 8, 9, 1, 2, 3}))
      << "the fourth byte of 32bppBGR is no alpha";
}

}  // namespace
}  // namespace quorvel
