// DecodePicture over stand-in frames of every kind of pixel format the component can
// report (also those Wine's TIFF decoder never produces), each with orientations 1-8:
// depth delivered, every pixel, zeroed padding, palette completion, size guards and cleanup.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "FakeWic.h"
#include "PictureModel.h"
#include "TestEnvironment.h"
#include "decode/CopyPlan.h"
#include "decode/DecodePicture.h"
#include "decode/DecoderSession.h"
#include "decode/PixelFormatGuids.h"

namespace quorvel {
namespace {

using testsupport::Bgr;
using testsupport::FakeCounters;
using testsupport::FakeFrameSetup;

std::vector<std::uint8_t> Pack(std::uint32_t w, std::uint32_t h, std::uint32_t bits,
                                const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& value) {
  const std::size_t rowBytes = (static_cast<std::size_t>(w) * bits + 7) / 8;
  std::vector<std::uint8_t> out(rowBytes * h, 0);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint64_t v = value(x, y);
      if (bits < 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * bits;
        out[y * rowBytes + bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
      } else {
        for (std::uint32_t i = 0; i < bits / 8; ++i) out[y * rowBytes + x * (bits / 8) + i] = static_cast<std::uint8_t>(v >> (8 * i));
      }
    }
  return out;
}

Bgr FromWic(WICColor c) { return {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16)}; }
std::uint8_t Replicate5(unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
std::uint8_t Replicate6(unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }
constexpr Bgr kWhite{255, 255, 255};

struct Fixture {
  std::string name;
  GUID format;
  std::uint32_t bits;
  std::optional<std::vector<WICColor>> palette;
  std::function<std::uint32_t(std::uint32_t, std::uint32_t)> raw;  // stored value of (x, y)
  std::function<Bgr(std::uint32_t, std::uint32_t)> color;          // how it must look (on white)
  int unturnedDepth;  // what the plug-in delivers when the component has every conversion
  int turnedDepth;
};

std::vector<WICColor> Palette(std::uint32_t n) {
  std::vector<WICColor> p;
  for (std::uint32_t i = 0; i < n; ++i) p.push_back(0xFF000000u | ((i * 37 + 11) & 255) << 16 | ((i * 91 + 5) & 255) << 8 | ((i * 13 + 200) & 255));
  return p;
}

std::vector<Fixture> Fixtures() {
  std::vector<Fixture> f;
  for (std::uint32_t bits : {1u, 2u, 4u, 8u}) {
    const GUID& g = bits == 1 ? kPixelFormat1bppIndexed : bits == 2 ? kPixelFormat2bppIndexed : bits == 4 ? kPixelFormat4bppIndexed : kPixelFormat8bppIndexed;
    const auto palette = Palette(1u << bits);
    const std::uint32_t n = 1u << bits;
    f.push_back({std::to_string(bits) + "bppIndexed", g, bits, palette, [n](auto x, auto y) { return (x + 3 * y) % n; },
                 [palette, n](auto x, auto y) { return FromWic(palette[(x + 3 * y) % n]); }, bits == 2 ? 4 : int(bits), 8});
  }
  for (std::uint32_t bits : {2u, 4u, 8u}) {
    const GUID& g = bits == 2 ? kPixelFormat2bppGray : bits == 4 ? kPixelFormat4bppGray : kPixelFormat8bppGray;
    const std::uint32_t top = (1u << bits) - 1;
    f.push_back({std::to_string(bits) + "bppGray", g, bits, std::nullopt, [top](auto x, auto y) { return (x + 2 * y) % (top + 1); },
                 [top](auto x, auto y) {
                   const auto v = static_cast<std::uint8_t>((x + 2 * y) % (top + 1) * 255 / top);
                   return Bgr{v, v, v};
                 },
                 bits == 2 ? 4 : int(bits), 8});
  }
  f.push_back({"BlackWhite", kPixelFormatBlackWhite, 1, std::nullopt, [](auto x, auto y) { return (x + y) % 2; },
               [](auto x, auto y) { const std::uint8_t v = (x + y) % 2 ? 255 : 0; return Bgr{v, v, v}; }, 1, 8});
  auto r5 = [](std::uint32_t x, std::uint32_t) { return (x * 3) % 32; };
  auto g5 = [](std::uint32_t, std::uint32_t y) { return (y * 5 + 1) % 32; };
  auto b5 = [](std::uint32_t x, std::uint32_t y) { return (x + y) % 32; };
  f.push_back({"16bppBGR555", kPixelFormat16bppBGR555, 16, std::nullopt,
               [=](auto x, auto y) { return r5(x, y) << 10 | g5(x, y) << 5 | b5(x, y); },
               [=](auto x, auto y) { return Bgr{Replicate5(b5(x, y)), Replicate5(g5(x, y)), Replicate5(r5(x, y))}; }, 16, 16});
  auto g6 = [](std::uint32_t x, std::uint32_t y) { return (x * 7 + y * 3) % 64; };
  f.push_back({"16bppBGR565", kPixelFormat16bppBGR565, 16, std::nullopt,
               [=](auto x, auto y) { return r5(x, y) << 11 | g6(x, y) << 5 | b5(x, y); },
               [=](auto x, auto y) { return Bgr{Replicate5(b5(x, y)), Replicate6(g6(x, y)), Replicate5(r5(x, y))}; }, 24, 24});
  // 16-bit grey as v * 257, so that any 16-to-8-bit rule gives v.
  auto grey = [](std::uint32_t x, std::uint32_t y) { return (x * 20 + y * 7) % 256; };
  f.push_back({"16bppGray", kPixelFormat16bppGray, 16, std::nullopt, [=](auto x, auto y) { return grey(x, y) * 257; },
               [=](auto x, auto y) { const auto v = static_cast<std::uint8_t>(grey(x, y)); return Bgr{v, v, v}; }, 24, 24});
  // Fixed point (1.0 = 8192) and half floats (1.0 = 0x3C00) only black and white: exact under any conversion.
  auto on = [](std::uint32_t x, std::uint32_t y) { return (x + y) % 3 == 0; };
  f.push_back({"16bppGrayFixedPoint", kPixelFormat16bppGrayFixedPoint, 16, std::nullopt, [=](auto x, auto y) { return on(x, y) ? 8192u : 0u; },
               [=](auto x, auto y) { return on(x, y) ? kWhite : Bgr{}; }, 24, 24});
  f.push_back({"16bppGrayHalf", kPixelFormat16bppGrayHalf, 16, std::nullopt, [=](auto x, auto y) { return on(x, y) ? 0x3C00u : 0u; },
               [=](auto x, auto y) { return on(x, y) ? kWhite : Bgr{}; }, 24, 24});
  auto c8 = [](std::uint32_t x, std::uint32_t y, int k) { return static_cast<std::uint8_t>((x * (11 + k * 6) + y * (17 - k * 4) + k * 50) % 256); };
  f.push_back({"24bppBGR", kPixelFormat24bppBGR, 24, std::nullopt, [=](auto x, auto y) { return c8(x, y, 0) | c8(x, y, 1) << 8 | c8(x, y, 2) << 16; },
               [=](auto x, auto y) { return Bgr{c8(x, y, 0), c8(x, y, 1), c8(x, y, 2)}; }, 24, 24});
  f.push_back({"24bppRGB", kPixelFormat24bppRGB, 24, std::nullopt, [=](auto x, auto y) { return c8(x, y, 2) | c8(x, y, 1) << 8 | c8(x, y, 0) << 16; },
               [=](auto x, auto y) { return Bgr{c8(x, y, 0), c8(x, y, 1), c8(x, y, 2)}; }, 24, 24});
  f.push_back({"32bppBGR", kPixelFormat32bppBGR, 32, std::nullopt,
               [=](auto x, auto y) { return c8(x, y, 0) | c8(x, y, 1) << 8 | c8(x, y, 2) << 16 | 0x5Au << 24; },
               [=](auto x, auto y) { return Bgr{c8(x, y, 0), c8(x, y, 1), c8(x, y, 2)}; }, 24, 24});
  auto alpha = [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>((x * 50 + y * 30 + 7) % 256); };
  f.push_back({"32bppBGRA", kPixelFormat32bppBGRA, 32, std::nullopt,
               [=](auto x, auto y) { return c8(x, y, 0) | c8(x, y, 1) << 8 | c8(x, y, 2) << 16 | std::uint32_t{alpha(x, y)} << 24; },
               [=](auto x, auto y) { return testsupport::Composite({c8(x, y, 0), c8(x, y, 1), c8(x, y, 2)}, alpha(x, y), kWhite); }, 24, 24});
  // Premultiplied: straight values that are multiples of 5 with alphas that are multiples
  // of 51 go there and back exactly under any rounding.
  auto s5 = [](std::uint32_t x, std::uint32_t y, int k) { return static_cast<std::uint8_t>(5 * ((x * 3 + y * 7 + k * 13) % 52)); };
  auto a51 = [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(51 * ((x + 2 * y) % 6)); };
  f.push_back({"32bppPBGRA", kPixelFormat32bppPBGRA, 32, std::nullopt,
               [=](auto x, auto y) {
                 const unsigned a = a51(x, y);
                 return s5(x, y, 0) * a / 255 | (s5(x, y, 1) * a / 255) << 8 | (s5(x, y, 2) * a / 255) << 16 | a << 24;
               },
               [=](auto x, auto y) {
                 // A fully transparent pixel has no colour left: the background shows.
                 return testsupport::Composite({s5(x, y, 0), s5(x, y, 1), s5(x, y, 2)}, a51(x, y), kWhite);
               },
               24, 24});
  return f;
}

// A stand-in frame of w x h pixels of the fixture's kind.
FakeFrameSetup FrameOf(const Fixture& fixture, std::uint32_t w, std::uint32_t h) {
  FakeFrameSetup setup;
  setup.width = w;
  setup.height = h;
  setup.format = fixture.format;
  setup.bitsPerPixel = fixture.bits;
  setup.palette = fixture.palette;
  setup.pixels = Pack(w, h, fixture.bits, fixture.raw);
  return setup;
}

// Whether the imaging component converts format into target at all (some have gaps).
bool ComponentConverts(IWICImagingFactory* factory, const Fixture& fixture, const GUID& target) {
  if (std::memcmp(&fixture.format, &target, sizeof(GUID)) == 0) return true;
  FakeFrameSetup setup = FrameOf(fixture, 2, 2);
  FakeCounters counters;
  ComPtr<IWICBitmapDecoder> decoder;
  *decoder.Put() = testsupport::MakeFakeDecoder(setup, counters);
  ComPtr<IWICBitmapFrameDecode> frame;
  decoder->GetFrame(0, frame.Put());
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Put()))) return false;
  if (FAILED(converter->Initialize(frame.Get(), target, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeMedianCut)))
    return false;
  std::uint8_t buffer[64] = {};
  return SUCCEEDED(converter->CopyPixels(nullptr, 16, sizeof(buffer), buffer));
}

// The format the plan reads the fixture in (for asking the component whether it has
// that conversion at all).
GUID PlannedTarget(const Fixture& f, bool turned) {
  FrameDescription frame;
  frame.width = 7;
  frame.height = 5;
  frame.format = f.format;
  frame.transform.rotation = turned ? 1 : 0;
  return PlanCopy(frame, {}).target;
}

// The first directory's facts of the file the stand-in frame would come from.
DirectoryFacts FactsOf(const FakeFrameSetup& setup) {
  DirectoryFacts facts;
  facts.known = true;
  facts.orientation = setup.orientation;
  return facts;
}

struct Decoded {
  ResultCode result = -100;
  hostkit::Dib dib;
  std::string why;
};

Decoded Decode(const FakeFrameSetup& setup, FakeCounters& counters, const PictureOptions& options = {}) {
  Decoded out;
  DecoderSession session;
  EXPECT_EQ(session.Status(), kResultSuccess);
  ComPtr<IWICBitmapDecoder> decoder;
  *decoder.Put() = testsupport::MakeFakeDecoder(setup, counters);
  HLOCAL info = nullptr, bits = nullptr;
  out.result = DecodePicture(&info, &bits, session.Factory(), decoder.Get(), options, Progress(nullptr, 0),
                             FactsOf(setup));
  if (info && bits && !hostkit::ReadDib(info, bits, out.dib, &out.why)) out.result = -200;
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return out;
}

TEST(DecodePipeline, EveryFormatKindComesOutUprightInEveryOrientation) {
  DecoderSession session;
  for (const Fixture& f : Fixtures()) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(f.name + ", orientation " + std::to_string(orientation));
      const bool turned = orientation >= 5 || orientation == 3 || orientation == 2;
      FakeCounters counters;
      FakeFrameSetup setup = FrameOf(f, 7, 5);
      setup.orientation = static_cast<std::uint16_t>(orientation);
      setup.scribblePadding = true;
      const Decoded d = Decode(setup, counters);
      EXPECT_EQ(counters.liveObjects, 0) << "every frame and converter released";
      EXPECT_EQ(counters.metadataReaderRequests, 0) << "metadata comes from the file's bytes";

      int depth = turned ? f.turnedDepth : f.unturnedDepth;
      const GUID target = PlannedTarget(f, turned);
      const bool partTargetWorks = ComponentConverts(session.Factory(), f, target);
      const bool fallbackWorks = ComponentConverts(session.Factory(), f, kPixelFormat32bppBGR);
      if (!partTargetWorks) {
        if (orientation == 1 || orientation == 6)
          std::printf("[ component ] %s: no conversion to the %s target%s\n", f.name.c_str(), turned ? "turned" : "unturned",
                      fallbackWorks ? "; 32bppBGR instead" : " nor to 32bppBGR");
        if (!fallbackWorks) {
          // Nothing this component can do with the format: a clean failure, not a picture.
          EXPECT_EQ(d.result, kResultInternalError) << "the imaging component converts this format into nothing";
          continue;
        }
        depth = 24;  // the component lacks the conversion: the 32-bit fallback, reduced to 24
      }
      ASSERT_EQ(d.result, kResultSuccess) << d.why;
      EXPECT_EQ(d.dib.header.biBitCount, depth) << (partTargetWorks ? "" : "through the fallback conversion");
      EXPECT_EQ(testsupport::ComparePicture(d.dib, 7, 5, orientation, f.color), "");
      EXPECT_EQ(hostkit::PaddingProblem(d.dib), "") << "nothing of what the component leaves after the pixels";
    }
  }
}

// Bands of half a megabyte and more are turned on the parallel runtime's workers in the
// 32-bit build: a picture wide enough for that, in the four quarter-turn orientations.
TEST(DecodePipeline, LargeQuarterTurnedPicturesComeOutWhole) {
  constexpr std::uint32_t w = 2048, h = 400;  // 3 MB bands of 384 rows, and a short last one
  const auto value = [](std::uint32_t x, std::uint32_t y) { return ((x * 7 + y * 13) & 0xFFu) | ((x ^ y) & 0xFFu) << 8 | ((y * 3) % 251) << 16; };
  FakeFrameSetup setup;
  setup.width = w;
  setup.height = h;
  setup.format = kPixelFormat32bppBGR;
  setup.bitsPerPixel = 32;
  setup.pixels = Pack(w, h, 32, value);
  for (std::uint32_t orientation : {5u, 6u, 7u, 8u}) {
    FakeCounters counters;
    setup.orientation = static_cast<std::uint16_t>(orientation);
    const Decoded d = Decode(setup, counters);
    ASSERT_EQ(d.result, kResultSuccess);
    EXPECT_EQ(d.dib.header.biBitCount, 24);
    EXPECT_EQ(testsupport::ComparePicture(d.dib, w, h, static_cast<int>(orientation),
                                          [&](auto x, auto y) {
                                            const std::uint32_t v = value(x, y);
                                            return Bgr{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                                       static_cast<std::uint8_t>(v >> 16)};
                                          }),
              "");
  }
}

TEST(DecodePipeline, WithOrientationOffTheTagIsIgnoredAndTheFrameIsNeverAskedForMetadata) {
  const Fixture f = Fixtures().front();
  FakeCounters counters;
  FakeFrameSetup setup = FrameOf(f, 7, 5);
  setup.orientation = static_cast<std::uint16_t>(6);
  PictureOptions options;
  options.applyOrientation = false;
  const Decoded d = Decode(setup, counters, options);
  ASSERT_EQ(d.result, kResultSuccess);
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 7, 5, 1, f.color), "") << "delivered as stored";
  EXPECT_EQ(counters.metadataReaderRequests, 0);
}

TEST(DecodePipeline, ShortOrMissingPalettesAreCompletedWithAGreyRampEndingInWhite) {
  struct Case {
    std::uint32_t bits;
    std::optional<std::vector<WICColor>> palette;
    std::vector<std::uint32_t> expected;  // the DIB's colour table, 0x00RRGGBB
  };
  std::vector<std::uint32_t> ramp256;
  for (std::uint32_t j = 0; j < 255; ++j) ramp256.push_back(j * 0x010101u);
  ramp256.push_back(0xFFFFFF);
  std::vector<std::uint32_t> threeThenRamp = {0x102030, 0x405060, 0x708090};
  for (std::uint32_t j = 0; j < 252; ++j) threeThenRamp.push_back((j * 255 / 252) * 0x010101u);
  threeThenRamp.push_back(0xFFFFFF);
  const Case cases[] = {
      {8, std::nullopt, ramp256},
      {8, std::vector<WICColor>{0xFF102030, 0xFF405060, 0xFF708090}, threeThenRamp},
      {1, std::vector<WICColor>{0xFF123456}, {0x123456, 0xFFFFFF}},
      {1, std::nullopt, {0x000000, 0xFFFFFF}},
      {4, std::nullopt, {0x000000, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777, 0x888888,
                         0x999999, 0xAAAAAA, 0xBBBBBB, 0xCCCCCC, 0xDDDDDD, 0xEEEEEE, 0xFFFFFF}},
  };
  for (const Case& c : cases) {
    FakeCounters counters;
    FakeFrameSetup setup;
    setup.width = 3;
    setup.height = 2;
    setup.format = c.bits == 8 ? kPixelFormat8bppIndexed : c.bits == 4 ? kPixelFormat4bppIndexed : kPixelFormat1bppIndexed;
    setup.bitsPerPixel = c.bits;
    setup.palette = c.palette;
    setup.pixels = Pack(3, 2, c.bits, [](auto x, auto) { return x % 2; });
    const Decoded d = Decode(setup, counters);
    ASSERT_EQ(d.result, kResultSuccess);
    ASSERT_EQ(d.dib.colors.size(), c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      const RGBQUAD q = d.dib.colors[i];
      EXPECT_EQ(static_cast<std::uint32_t>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue), c.expected[i]) << c.bits << " bits, entry " << i;
      // The component's own colours keep their alpha byte; the ones added carry 0.
      if (i >= (c.palette ? c.palette->size() : 0)) {
        EXPECT_EQ(q.rgbReserved, 0) << "entry " << i;
      }
    }
  }
}

TEST(DecodePipeline, RefusesSizesThatCannotBeDescribedBeforeCopying) {
  struct Case {
    UINT w, h;
    GUID format;
    UINT bits;
    ResultCode expected;
  };
  const Case cases[] = {
      {0, 5, kPixelFormat24bppBGR, 24, kResultUnknownFormat},
      {5, 0, kPixelFormat24bppBGR, 24, kResultUnknownFormat},
      {65536, 65537, kPixelFormat32bppBGR, 32, kResultOutOfMemory},  // 2^32 + 2^18 bytes: wraps in 32 bits
      {70000, 70000, kPixelFormat24bppBGR, 24, kResultOutOfMemory},
      {1, 0x80000000u, kPixelFormat8bppGray, 8, kResultOutOfMemory},
      {0xFFFFFFFFu, 1, kPixelFormatBlackWhite, 1, kResultOutOfMemory},
  };
  for (const Case& c : cases) {
    FakeCounters counters;
    FakeFrameSetup setup;
    setup.width = c.w;
    setup.height = c.h;
    setup.format = c.format;
    setup.bitsPerPixel = c.bits;
    EXPECT_EQ(Decode(setup, counters).result, c.expected) << c.w << " x " << c.h;
    EXPECT_EQ(counters.copyPixelsCalls, 0) << "no copy is attempted into a truncated size";
    EXPECT_EQ(counters.liveObjects, 0);
  }
}

TEST(DecodePipeline, FailuresOfTheFrameAreMappedAndLeaveNothingBehind) {
  FakeFrameSetup base;
  base.width = 4;
  base.height = 4;
  base.format = kPixelFormat24bppBGR;
  base.bitsPerPixel = 24;
  base.pixels.assign(48, 0x33);
  struct Case {
    const char* what;
    std::function<void(FakeFrameSetup&)> change;
    ResultCode expected;
  };
  const Case cases[] = {
      {"not a TIFF container", [](FakeFrameSetup& s) { s.containerIsTiff = false; }, kResultUnknownFormat},
      {"no IWICBitmapSource", [](FakeFrameSetup& s) { s.refuseBitmapSource = true; }, kResultInternalError},
      {"CopyPixels fails", [](FakeFrameSetup& s) { s.copyPixelsResult = E_FAIL; }, kResultInternalError},
      {"CopyPixels runs out of memory", [](FakeFrameSetup& s) { s.copyPixelsResult = E_OUTOFMEMORY; }, kResultOutOfMemory},
      {"bad image while copying", [](FakeFrameSetup& s) { s.copyPixelsResult = WINCODEC_ERR_BADIMAGE; }, kResultUnknownFormat},
      {"GetSize fails", [](FakeFrameSetup& s) { s.getSizeResult = E_FAIL; }, kResultInternalError},
      {"unknown pixel format", [](FakeFrameSetup& s) { s.format = GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}; }, kResultInternalError},
  };
  for (const Case& c : cases) {
    FakeCounters counters;
    FakeFrameSetup setup = base;
    c.change(setup);
    EXPECT_EQ(Decode(setup, counters).result, c.expected) << c.what;
    EXPECT_EQ(counters.liveObjects, 0) << c.what;
  }
}

struct StopAt {
  int at;
  std::vector<int> seen;
};
int WINAPI StopWhen(int n, int d, LONG_PTR data) {
  auto* s = reinterpret_cast<StopAt*>(data);
  EXPECT_EQ(d, 100);
  s->seen.push_back(n);
  return n == s->at;
}

TEST(DecodePipeline, ReportsEachStepAndStopsCleanlyAtEveryReport) {
  FakeFrameSetup setup;
  setup.width = 6;
  setup.height = 4;
  setup.format = kPixelFormat32bppBGRA;
  setup.bitsPerPixel = 32;
  setup.pixels.assign(96, 0x80);
  setup.orientation = static_cast<std::uint16_t>(6);
  for (int at : {-1, 30, 50, 60, 70, 80, 90, 100}) {
    StopAt stop{at, {}};
    FakeCounters counters;
    DecoderSession session;
    ComPtr<IWICBitmapDecoder> decoder;
    *decoder.Put() = testsupport::MakeFakeDecoder(setup, counters);
    HLOCAL info = nullptr, bits = nullptr;
    const ResultCode r = DecodePicture(&info, &bits, session.Factory(), decoder.Get(), PictureOptions{},
                                       Progress(StopWhen, reinterpret_cast<LONG_PTR>(&stop)), FactsOf(setup));
    decoder.Reset();
    EXPECT_EQ(counters.liveObjects, 0);
    if (at < 0) {
      EXPECT_EQ(r, kResultSuccess);
      EXPECT_EQ(stop.seen, (std::vector<int>{30, 50, 60, 70, 80, 90, 100}));
    } else {
      EXPECT_EQ(r, kResultAborted) << at;
      EXPECT_EQ(stop.seen.back(), at);
    }
    if (at == 100 || at < 0) {
      EXPECT_NE(info, nullptr) << "at 100 the handles are already the host's";
      EXPECT_NE(bits, nullptr);
    } else {
      EXPECT_EQ(info, nullptr) << at;
      EXPECT_EQ(bits, nullptr) << at;
    }
    if (info) LocalFree(info);
    if (bits) LocalFree(bits);
  }
}

}  // namespace
}  // namespace quorvel
