// Orientation geometry and the picture comparison.
#include "PictureModel.h"

#include <sstream>

namespace testsupport {

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

Position StoredPosition(int o, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
  switch (o) {
    case 2: return {w - 1 - x, y};          // mirrored left to right
    case 3: return {w - 1 - x, h - 1 - y};  // upside down
    case 4: return {x, h - 1 - y};          // mirrored top to bottom
    case 5: return {y, x};                  // transposed
    case 6: return {y, h - 1 - x};          // stored turned a quarter counter-clockwise
    case 7: return {w - 1 - y, h - 1 - x};  // transverse
    case 8: return {w - 1 - y, x};          // stored turned a quarter clockwise
    default: return {x, y};
  }
}

Bgr Composite(Bgr c, std::uint8_t a, Bgr bg) {
  auto blend = [a](unsigned s, unsigned b) { return static_cast<std::uint8_t>((s * a + b * (255u - a)) / 255u); };
  return {blend(c.b, bg.b), blend(c.g, bg.g), blend(c.r, bg.r)};
}

std::string ComparePicture(const hostkit::Dib& dib, std::uint32_t w, std::uint32_t h, int orientation,
                           const std::function<Bgr(std::uint32_t, std::uint32_t)>& storedColor) {
  const std::uint32_t dw = SwapsSides(orientation) ? h : w, dh = SwapsSides(orientation) ? w : h;
  std::ostringstream out;
  if (static_cast<std::uint32_t>(dib.Width()) != dw || static_cast<std::uint32_t>(dib.Height()) != dh) {
    out << "delivered " << dib.Width() << " x " << dib.Height() << ", expected " << dw << " x " << dh;
    return out.str();
  }
  for (std::uint32_t y = 0; y < dh; ++y)
    for (std::uint32_t x = 0; x < dw; ++x) {
      const Position p = StoredPosition(orientation, x, y, w, h);
      const Bgr want = storedColor(p.x, p.y);
      const Bgr got = dib.At(static_cast<int>(x), static_cast<int>(y));
      if (!(want == got)) {
        out << "orientation " << orientation << ": displayed (" << x << "," << y << ") from stored (" << p.x << ","
            << p.y << ") is BGR " << int(got.b) << "," << int(got.g) << "," << int(got.r) << ", expected "
            << int(want.b) << "," << int(want.g) << "," << int(want.r);
        return out.str();
      }
    }
  return {};
}

}  // namespace testsupport
