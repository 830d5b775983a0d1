// PlanCopy: the target format rules, the size limits, the pixel operation and the bands.
#include "decode/CopyPlan.h"

#include <algorithm>
#include <climits>

#include "common/CheckedSize.h"
#include "common/GuidEquality.h"
#include "decode/PixelFormatGuids.h"
#include "decode/PixelFormatTable.h"
#include "decode/WorkBitmap.h"

namespace quorvel {
namespace {

// Scratch bands small enough to stay in the caches between the copy out of the imaging
// component and the pass that writes them into place: a quarter megabyte of rows along
// rows, and about 3 MB for quarter turns. Quarter turns write each delivered row a band's
// height at a time; every band touches every delivered row, so taller bands mean fewer
// partly written cache lines and fewer page walks, as long as a band stays in the shared
// cache: bands of about 3 MB (6000 pixels a row: 128 rows of 32-bit pixels, 512 of 8-bit
// ones) measured best, a third faster than 32 rows of 32-bit pixels and 40 % faster than
// 128 of 8-bit ones. A multiple of 16 rows: the kernels go 8 or 16 rows at a time, and the
// rows left over at a band's end take the element-by-element path.
// Decoders that share a picture share the cache too: for them turned bands of about 384 KB
// measured best, up to a fifth faster than 3 MB ones (24 MP 8-bit palette, 2 decoders).
constexpr std::size_t kBandBytes = 256 * 1024;
constexpr std::size_t kTurnBandBytes = 3 * 1024 * 1024;
constexpr std::size_t kSharedTurnBandBytes = 384 * 1024;
constexpr std::uint32_t kTurnBandRowsMin = 32, kTurnBandRowsMax = 512;
// Waking the worker threads costs more than a small band's work: bands along rows, and
// quarter-turn bands of less than half a megabyte, stay on the calling thread.
constexpr std::size_t kParallelBandBytes = 512 * 1024;

// The format a frame is read in: one a DIB can carry and, under a pending rotation, one
// the 8/16/24/32-bit kernels turn.
const GUID& ChooseTarget(const GUID& frameFormat, const PixelFormatEntry& entry, bool alpha, std::uint32_t rotation) {
  if (alpha) return kPixelFormat32bppBGRA;
  if (rotation == 0) return *entry.target;
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

CopyPlan Refused(CopyPlan plan, ResultCode why) {
  plan.result = why;
  return plan;
}

}  // namespace

bool CopyPlan::HasFallback() const noexcept { return !SameGuid(target, fallback); }

CopyPlan PlanCopy(const FrameDescription& frame, const PictureOptions& options, const GUID* forcedTarget) {
  CopyPlan plan;
  const PixelFormatEntry& entry = LookUpPixelFormat(frame.format);
  plan.alpha = entry.hasAlpha || (entry.bitCount <= 8 && frame.paletteAlpha);
  plan.transform = frame.transform;
  const std::uint32_t rotation = frame.transform.rotation;
  // What every decoded format converts into, and which the copy then reduces to 24 bits.
  plan.fallback = plan.alpha ? kPixelFormat32bppBGRA : kPixelFormat32bppBGR;
  plan.target = forcedTarget ? *forcedTarget : ChooseTarget(frame.format, entry, plan.alpha, rotation);
  plan.sourceWidth = frame.width;
  plan.sourceHeight = frame.height;

  const PixelFormatEntry& read = LookUpPixelFormat(plan.target);
  plan.sourceBits = static_cast<std::uint32_t>(read.bitCount);
  // Every target chosen here is in the table; anything else is a caller's mistake.
  if (plan.sourceBits == 0) return Refused(plan, kResultInternalError);
  if (frame.width == 0 || frame.height == 0) return Refused(plan, kResultUnknownFormat);
  // Rectangles and DIB headers count in signed 32 bits, and the imaging component checks
  // buffer sizes in 32-bit arithmetic: refuse what would wrap there.
  if (frame.width > static_cast<std::uint32_t>(INT_MAX) || frame.height > static_cast<std::uint32_t>(INT_MAX))
    return Refused(plan, kResultOutOfMemory);
  const auto stride = RowStride(frame.width, plan.sourceBits);
  if (!stride || *stride > UINT_MAX) return Refused(plan, kResultOutOfMemory);
  const auto bytes = CheckedMul<std::uint64_t>(*stride, frame.height);
  if (!bytes || *bytes > UINT_MAX) return Refused(plan, kResultOutOfMemory);
  plan.sourceStride = *stride;
  plan.sourceBytes = static_cast<std::size_t>(*bytes);
  // Turning handles whole 8-, 16-, 24- and 32-bit elements only.
  if (rotation > 3) return Refused(plan, kResultInternalError);
  const std::uint32_t bits = plan.sourceBits;
  if (rotation != 0 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return Refused(plan, kResultInternalError);

  // 32-bit pixels never reach the host: alpha composited or dropped, else the fourth byte dropped.
  if (read.hasAlpha || bits == 32) {
    plan.op = read.hasAlpha && options.compositeAlpha ? PixelOp::kComposite32To24 : PixelOp::kStrip32To24;
    plan.elementBytes = 4;
    plan.background = options.background;
  } else {
    // Unturned rows are copied as whole rows of bytes, whatever the depth (1 and 4 bits included).
    plan.elementBytes = rotation != 0 ? bits / 8 : 1;
  }
  const bool quarter = rotation % 2 == 1;
  plan.width = quarter ? frame.height : frame.width;
  plan.height = quarter ? frame.width : frame.height;
  plan.bitCount = plan.op != PixelOp::kCopy ? 24 : bits;
  plan.walk = rotation == 0 ? Walk::kRowsForward
              : rotation == 2 ? Walk::kRowsBackward
              : rotation == 1 ? Walk::kColumnsUpward
                              : Walk::kColumnsDownward;
  // Same rows in the same order: straight into place, no scratch and no second pass.
  plan.direct = plan.op == PixelOp::kCopy && rotation == 0 && frame.transform.keepTopDownRows;
  const auto turnRows = [&](std::size_t bytes) {
    return std::min(frame.height, static_cast<std::uint32_t>(std::clamp<std::size_t>(
                                      bytes / *stride / 16 * 16, kTurnBandRowsMin, kTurnBandRowsMax)));
  };
  plan.bandRows = quarter ? turnRows(kTurnBandBytes)
                          : std::clamp<std::uint32_t>(static_cast<std::uint32_t>(kBandBytes / *stride), 1, frame.height);
  plan.sharedBandRows = quarter ? turnRows(kSharedTurnBandBytes) : plan.bandRows;
  if (quarter) plan.parallelFromRows = static_cast<std::uint32_t>((kParallelBandBytes + *stride - 1) / *stride);
  // Tiled frames are read a row of tiles at a time (or several, for short tiles): a band
  // that cut through a row of tiles would have every tile of it decoded again for the
  // next band, tile-length / band-rows times over (measured: 4.8 x the bare decode for
  // 256 x 256 LZW tiles, 8.9 x for 512 x 512). Bounded by the picture itself, so that the
  // scratch never holds more than the source rows it covers.
  const auto readRows = [&](std::uint32_t band) {
    if (!frame.tiled || frame.stripRows <= 1) return band;
    const std::uint64_t whole = (std::uint64_t{band} + frame.stripRows - 1) / frame.stripRows * frame.stripRows;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, frame.height));
  };
  plan.readRows = readRows(plan.bandRows);
  plan.sharedReadRows = readRows(plan.sharedBandRows);
  return plan;
}

}  // namespace quorvel
