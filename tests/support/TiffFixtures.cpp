// The fixture kinds: palette, grey, RGB, alpha, 16-bit samples and 5-5-5.
#include "TiffFixtures.h"

#include <stdexcept>

namespace testsupport {
namespace {

constexpr Bgr kWhite{255, 255, 255};

// Rows of samples packed from the high bit; 16-bit samples little-endian.
std::vector<std::uint8_t> Samples(std::uint32_t w, std::uint32_t h, std::uint32_t samples, std::uint32_t bits,
                                  const std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t)>& value) {
  const std::size_t rowBytes = (static_cast<std::size_t>(w) * samples * bits + 7) / 8;
  std::vector<std::uint8_t> out(rowBytes * h, 0);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x)
      for (std::uint32_t s = 0; s < samples; ++s) {
        const std::uint32_t v = value(x, y, s);
        const std::size_t bit = (static_cast<std::size_t>(x) * samples + s) * bits;
        std::uint8_t* row = out.data() + y * rowBytes;
        if (bits == 16) {
          row[bit / 8] = static_cast<std::uint8_t>(v);
          row[bit / 8 + 1] = static_cast<std::uint8_t>(v >> 8);
        } else if (bits == 8) {
          row[bit / 8] = static_cast<std::uint8_t>(v);
        } else {
          // Any width below 8, possibly straddling bytes (5-bit samples).
          for (std::uint32_t b = 0; b < bits; ++b)
            if (v >> (bits - 1 - b) & 1) row[(bit + b) / 8] |= static_cast<std::uint8_t>(0x80 >> ((bit + b) % 8));
        }
      }
  return out;
}

std::uint8_t C8(std::uint32_t x, std::uint32_t y, std::uint32_t k) {
  return static_cast<std::uint8_t>((x * (11 + k * 6) + y * (17 + k * 4) + k * 50) % 256);
}

TiffPage Page(std::uint32_t w, std::uint32_t h, std::uint16_t bits, std::uint16_t samples, std::uint16_t photometric) {
  TiffPage p;
  p.width = w;
  p.height = h;
  p.bitsPerSample = bits;
  p.samplesPerPixel = samples;
  p.photometric = photometric;
  return p;
}

}  // namespace

std::vector<TiffFixture> AllTiffFixtures(std::uint32_t w, std::uint32_t h) {
  std::vector<TiffFixture> all;
  // Palettes of 1, 2, 4 and 8 bits; the colour map holds 16-bit values, c * 257.
  for (std::uint16_t bits : {1, 2, 4, 8}) {
    const std::uint32_t n = 1u << bits;
    TiffPage p = Page(w, h, bits, 1, 3);
    std::vector<Bgr> colors;
    for (std::uint32_t i = 0; i < n; ++i)
      colors.push_back({static_cast<std::uint8_t>((i * 13 + 200) & 255), static_cast<std::uint8_t>((i * 91 + 5) & 255),
                        static_cast<std::uint8_t>((i * 37 + 11) & 255)});
    p.colorMap.resize(3 * n);
    for (std::uint32_t i = 0; i < n; ++i) {
      p.colorMap[i] = colors[i].r * 257;
      p.colorMap[n + i] = colors[i].g * 257;
      p.colorMap[2 * n + i] = colors[i].b * 257;
    }
    p.pixels = Samples(w, h, 1, bits, [n](auto x, auto y, auto) { return (x + 3 * y) % n; });
    all.push_back({"palette" + std::to_string(bits), p, [colors, n](auto x, auto y) { return colors[(x + 3 * y) % n]; },
                   bits == 2 ? 4 : bits, 8});
  }
  // A colour map too short for its depth is unreadable: the picture gets a grey ramp.
  {
    TiffPage p = Page(w, h, 8, 1, 3);
    p.colorMap.assign(3 * 16, 0x8080);
    p.pixels = Samples(w, h, 1, 8, [](auto x, auto y, auto) { return (x * 5 + y * 9) % 256; });
    all.push_back({"palette8-short-colormap", p,
                   [](auto x, auto y) {
                     const auto v = static_cast<std::uint8_t>((x * 5 + y * 9) % 256);
                     return Bgr{v, v, v};
                   },
                   8, 8});
  }
  // Grey, black is zero: 1, 2, 4 and 8 bits (2-bit grey is refused by some components).
  for (std::uint16_t bits : {1, 2, 4, 8}) {
    const std::uint32_t top = (1u << bits) - 1;
    TiffPage p = Page(w, h, bits, 1, 1);
    p.pixels = Samples(w, h, 1, bits, [top](auto x, auto y, auto) { return (x + 2 * y) % (top + 1); });
    all.push_back({"grey" + std::to_string(bits), p,
                   [top](auto x, auto y) {
                     const auto v = static_cast<std::uint8_t>((x + 2 * y) % (top + 1) * 255 / top);
                     return Bgr{v, v, v};
                   },
                   bits == 2 ? 4 : bits, 8, bits == 2});
  }
  {
    TiffPage p = Page(w, h, 8, 1, 0);  // white is zero
    p.pixels = Samples(w, h, 1, 8, [](auto x, auto y, auto) { return (x * 7 + y * 3) % 256; });
    all.push_back({"grey8-white-is-zero", p,
                   [](auto x, auto y) {
                     const auto v = static_cast<std::uint8_t>(255 - (x * 7 + y * 3) % 256);
                     return Bgr{v, v, v};
                   },
                   8, 8});
  }
  {
    TiffPage p = Page(w, h, 16, 1, 1);
    p.pixels = Samples(w, h, 1, 16, [](auto x, auto y, auto) { return (x * 20 + y * 7) % 256 * 257; });
    all.push_back({"grey16", p,
                   [](auto x, auto y) {
                     const auto v = static_cast<std::uint8_t>((x * 20 + y * 7) % 256);
                     return Bgr{v, v, v};
                   },
                   24, 24});
  }
  {
    TiffPage p = Page(w, h, 8, 3, 2);
    p.pixels = Samples(w, h, 3, 8, [](auto x, auto y, auto s) { return C8(x, y, 2 - s); });
    all.push_back({"rgb8", p, [](auto x, auto y) { return Bgr{C8(x, y, 0), C8(x, y, 1), C8(x, y, 2)}; }, 24, 24});
  }
  {
    TiffPage p = Page(w, h, 16, 3, 2);
    p.pixels = Samples(w, h, 3, 16, [](auto x, auto y, auto s) { return C8(x, y, 2 - s) * 257u; });
    all.push_back({"rgb16", p, [](auto x, auto y) { return Bgr{C8(x, y, 0), C8(x, y, 1), C8(x, y, 2)}; }, 24, 24});
  }
  auto alpha = [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>((x * 50 + y * 30 + 7) % 256); };
  {
    TiffPage p = Page(w, h, 8, 4, 2);
    p.extraSamples = {2};
    p.pixels = Samples(w, h, 4, 8, [=](auto x, auto y, auto s) { return s == 3 ? alpha(x, y) : C8(x, y, 2 - s); });
    all.push_back({"rgba8", p, [=](auto x, auto y) { return Composite({C8(x, y, 0), C8(x, y, 1), C8(x, y, 2)}, alpha(x, y), kWhite); }, 24, 24});
  }
  {
    // Premultiplied: multiples of 5 with alphas that are multiples of 51 survive the
    // round trip exactly under any rounding.
    auto s5 = [](std::uint32_t x, std::uint32_t y, std::uint32_t k) { return static_cast<std::uint8_t>(5 * ((x * 3 + y * 7 + k * 13) % 52)); };
    auto a51 = [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(51 * ((x + 2 * y) % 6)); };
    TiffPage p = Page(w, h, 8, 4, 2);
    p.extraSamples = {1};
    p.pixels = Samples(w, h, 4, 8, [=](auto x, auto y, auto s) {
      const unsigned a = a51(x, y);
      return s == 3 ? a : s5(x, y, 2 - s) * a / 255;
    });
    all.push_back({"rgba8-premultiplied", p,
                   [=](auto x, auto y) { return Composite({s5(x, y, 0), s5(x, y, 1), s5(x, y, 2)}, a51(x, y), kWhite); }, 24, 24});
  }
  {
    TiffPage p = Page(w, h, 8, 2, 1);
    p.extraSamples = {2};
    p.pixels = Samples(w, h, 2, 8, [=](auto x, auto y, auto s) { return s == 1 ? alpha(x, y) : C8(x, y, 1); });
    all.push_back({"grey8-alpha", p, [=](auto x, auto y) { const auto v = C8(x, y, 1); return Composite({v, v, v}, alpha(x, y), kWhite); }, 24, 24});
  }
  {
    TiffPage p = Page(w, h, 16, 4, 2);
    p.extraSamples = {2};
    p.pixels = Samples(w, h, 4, 16, [=](auto x, auto y, auto s) { return (s == 3 ? alpha(x, y) : C8(x, y, 2 - s)) * 257u; });
    all.push_back({"rgba16", p, [=](auto x, auto y) { return Composite({C8(x, y, 0), C8(x, y, 1), C8(x, y, 2)}, alpha(x, y), kWhite); }, 24, 24});
  }
  {
    // 5 bits per sample: the 16-bit 5-5-5 layout, which not every TIFF decoder reads.
    TiffPage p = Page(w, h, 5, 3, 2);
    auto v5 = [](std::uint32_t x, std::uint32_t y, std::uint32_t k) { return (x * 3 + y * 5 + k * 7) % 32; };
    p.pixels = Samples(w, h, 3, 5, [=](auto x, auto y, auto s) { return v5(x, y, 2 - s); });
    auto e = [](unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); };
    all.push_back({"rgb555", p, [=](auto x, auto y) { return Bgr{e(v5(x, y, 0)), e(v5(x, y, 1)), e(v5(x, y, 2))}; }, 16, 16, true});
  }
  return all;
}

TiffFixture TiffFixtureNamed(const std::string& name, std::uint32_t width, std::uint32_t height) {
  for (TiffFixture& f : AllTiffFixtures(width, height))
    if (f.name == name) return f;
  throw std::invalid_argument("no fixture " + name);
}

}  // namespace testsupport
