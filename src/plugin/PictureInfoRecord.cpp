// LoadPictureInfo and the density conversion.
#include "plugin/PictureInfoRecord.h"

#include "decode/PictureInfo.h"

namespace quorvel {

std::uint16_t DensityFromDpi(double dotsPerInch) noexcept {
  const double perMetre = dotsPerInch / 0.0254;
  // Converting a double outside the integer's range is undefined; NaN fails both tests.
  if (!(perMetre >= 0.0) || !(perMetre < 9223372036854775808.0)) return 0;
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(perMetre) & 0xFFFF);
}

ResultCode LoadPictureInfo(const ImageSource& source, susie::PictureInfo* info) {
  FrameFacts facts;
  if (const ResultCode r = LoadFrameFacts(source, facts); r != kResultSuccess) return r;
  info->left = 0;
  info->top = 0;
  info->width = static_cast<LONG>(facts.width);
  info->height = static_cast<LONG>(facts.height);
  info->x_density = DensityFromDpi(facts.dpiX);
  info->y_density = DensityFromDpi(facts.dpiY);
  info->colorDepth = static_cast<SHORT>(facts.bitCount);
  // Hosts LocalFree a non-null hInfo: leaving their stack bytes there would have them
  // free garbage.
  info->hInfo = nullptr;
  return kResultSuccess;
}

}  // namespace quorvel
