// ChooseTargetFormat: the rules in their order of precedence.
#include "decode/TargetFormat.h"

#include "common/GuidEquality.h"
#include "decode/PixelFormatGuids.h"

namespace quorvel {
const GUID& ChooseTargetFormat(const GUID& frameFormat, const PixelFormatEntry& entry, bool alpha,
                               std::uint32_t rotation) noexcept {
  if (alpha) return kPixelFormat32bppBGRA;
  if (rotation == 0) return *entry.target;
  // Turned pictures must be 8, 16, 24 or 32 bits wide for the turning kernels.
  if (entry.bitCount <= 8) return kPixelFormat8bppIndexed;
  // 24-bit RGB frames are turned as they are: no conversion into 32 bits and back, and
  // (the conversion being a reordering of bytes) the same bytes as by way of 32bppBGR.
  if (SameGuid(frameFormat, kPixelFormat24bppBGR) || SameGuid(frameFormat, kPixelFormat24bppRGB))
    return kPixelFormat24bppBGR;
  if (SameGuid(frameFormat, kPixelFormat16bppBGR555)) return kPixelFormat16bppBGR555;
  // The other 16-bit formats (565, and grey as integer, fixed point or half) are turned as
  // 32bppBGR: a 16-bit DIB is read as 5-5-5, which would lose green's sixth bit of 565 and
  // leave grey only 5 bits, while 32bppBGR holds every level the unturned 24-bit path keeps.
  return kPixelFormat32bppBGR;
}

const GUID& FallbackTargetFormat(bool alpha) noexcept { return alpha ? kPixelFormat32bppBGRA : kPixelFormat32bppBGR; }

}  // namespace quorvel
