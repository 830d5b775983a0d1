// StreamPicture: the source checked against the plan, the palette, and the copy.
#include "decode/StreamPicture.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "common/GuidEquality.h"
#include "decode/RowKernels.h"

namespace quorvel {
namespace {

using Palette = std::vector<std::uint32_t>;

// The source's own palette (up to 2^bitCount colours), completed with a grey ramp that
// ends in white. Palette failures are no errors: what could be read is kept.
Palette ReadPalette(IWICImagingFactory* factory, IWICBitmapSource* source, std::uint32_t bitCount) {
  const std::uint32_t n = 1u << bitCount;
  Palette colors;
  ComPtr<IWICPalette> palette;
  if (SUCCEEDED(factory->CreatePalette(palette.Put())) && palette && SUCCEEDED(source->CopyPalette(palette.Get()))) {
    UINT count = 0;
    if (SUCCEEDED(palette->GetColorCount(&count))) {
      colors.resize(std::min<UINT>(n, count));
      UINT actual = 0;
      if (!colors.empty() && SUCCEEDED(palette->GetColors(static_cast<UINT>(colors.size()), colors.data(), &actual)))
        colors.resize(std::min<std::size_t>(actual, colors.size()));
      else
        colors.clear();
    }
  }
  const std::uint32_t k = n - static_cast<std::uint32_t>(colors.size());
  if (k >= 1) {
    for (std::uint32_t j = 0; j + 1 < k; ++j) {
      const std::uint32_t grey = j * 255 / (k - 1);
      colors.push_back(grey | grey << 8 | grey << 16);
    }
    colors.push_back(0x00FFFFFF);
  }
  return colors;
}

// Where the band's rows go. T is the picture turned top-down; memory row m of the
// delivered picture holds T's row k (kept top-down) or row H'-1-k (bottom-up).
std::size_t JobsForBand(const CopyPlan& p, const WorkBitmap& out, const std::uint8_t* band, std::uint32_t y0, std::uint32_t y1,
                        std::vector<RowJob>& jobs, RunConstants& run) {
  const BitmapLayout& o = *out.Layout();
  const auto memoryRow = [&](std::uint32_t k) {
    const std::uint32_t m = p.transform.keepTopDownRows ? k : o.height - 1 - k;
    return out.Pixels() + m * o.stride;
  };
  const std::uint32_t w = p.sourceWidth, h = p.sourceHeight;
  const std::ptrdiff_t e = run.elementBytes, s = static_cast<std::ptrdiff_t>(p.sourceStride);
  const std::uint32_t dstBytes = DestinationElementBytes(run);
  const std::uint32_t rows = y1 - y0;
  switch (p.walk) {
    case Walk::kRowsForward:  // T row y = source row y; copies take whole rows, padding included
      run.count = run.op == PixelOp::kCopy ? static_cast<std::uint32_t>(p.sourceStride) : w;
      run.elementStep = e;
      for (std::uint32_t y = y0; y < y1; ++y) jobs[y - y0] = {memoryRow(y), band + (y - y0) * p.sourceStride};
      return rows;
    case Walk::kRowsBackward:  // T row H-1-y = source row y right to left
      run.count = w;
      run.elementStep = -e;
      for (std::uint32_t y = y0; y < y1; ++y)
        jobs[y - y0] = {memoryRow(h - 1 - y), band + (y - y0) * p.sourceStride + (static_cast<std::ptrdiff_t>(w) - 1) * e};
      return rows;
    case Walk::kColumnsUpward:  // T[k][j] = A[H-1-j][k]: the band fills columns H-y1 .. H-1-y0 of every T row
      run.count = rows;
      run.elementStep = -s;
      run.jobStep = e;
      for (std::uint32_t k = 0; k < w; ++k)
        jobs[k] = {memoryRow(k) + static_cast<std::size_t>(h - y1) * dstBytes, band + (rows - 1) * p.sourceStride + k * e};
      return w;
    case Walk::kColumnsDownward:  // T[k][j] = A[j][W-1-k]: the band fills columns y0 .. y1-1
      run.count = rows;
      run.elementStep = s;
      run.jobStep = -e;
      for (std::uint32_t k = 0; k < w; ++k)
        jobs[k] = {memoryRow(k) + static_cast<std::size_t>(y0) * dstBytes, band + (static_cast<std::ptrdiff_t>(w) - 1 - k) * e};
      return w;
  }
  return 0;
}

StreamOutcome Failed(HRESULT hr) { return {MapFailure(hr), hr}; }

}  // namespace

StreamOutcome BeginPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const CopyPlan& plan,
                           WorkBitmap& picture) {
  if (plan.result != kResultSuccess) return {plan.result};
  UINT width = 0, height = 0;
  if (const HRESULT hr = source->GetSize(&width, &height); FAILED(hr)) return {MapFailure(hr)};
  double dpiX = 0, dpiY = 0;  // asked for, as every decode does; the DIB carries no resolution
  if (const HRESULT hr = source->GetResolution(&dpiX, &dpiY); FAILED(hr)) return {MapFailure(hr)};
  GUID format{};
  if (const HRESULT hr = source->GetPixelFormat(&format); FAILED(hr)) return {MapFailure(hr)};
  // A source that is not what was planned is the imaging component misbehaving.
  if (width != plan.sourceWidth || height != plan.sourceHeight || !SameGuid(format, plan.target))
    return {kResultInternalError};

  const Palette colors = plan.sourceBits <= 8 ? ReadPalette(factory, source, plan.sourceBits) : Palette{};
  return {picture.Allocate(plan.width, plan.height, plan.bitCount, colors)};
}

StreamOutcome CopySourceRows(IWICBitmapSource* source, const CopyPlan& plan, WorkBitmap& picture, std::uint32_t begin,
                             std::uint32_t end, RangeShare share) {
  const BitmapLayout& out = *picture.Layout();
  const std::uint32_t width = plan.sourceWidth;
  if (plan.direct) {
    const WICRect rect{0, static_cast<INT>(begin), static_cast<INT>(width), static_cast<INT>(end - begin)};
    const auto bytes = BlockBytes(out.stride, end - begin);
    if (!bytes) return {kResultOutOfMemory};
    if (const HRESULT hr = source->CopyPixels(&rect, static_cast<UINT>(out.stride), static_cast<UINT>(*bytes - 4),
                                              picture.Pixels() + static_cast<std::size_t>(begin) * out.stride);
        FAILED(hr))
      return Failed(hr);
    return {kResultSuccess};
  }

  const bool shared = share.count > 1;
  const std::uint32_t bandRows = shared ? plan.sharedBandRows : plan.bandRows;
  // The scratch holds one read; never more rows than this range has. 4 bytes of slack:
  // the column kernel reads 24-bit pixels as 4-byte words.
  std::uint32_t readRows = std::min(shared ? plan.sharedReadRows : plan.readRows, end - begin);
  readRows = std::max(readRows, std::min(bandRows, end - begin));
  auto scratchBytes = BlockBytes(plan.sourceStride, readRows);
  if (!scratchBytes) return {kResultOutOfMemory};
  LocalBlock scratch(LocalAlloc(LMEM_FIXED, *scratchBytes));
  if (!scratch && readRows > bandRows) {
    // A row of tiles of a very wide picture may not fit where a band does: read bands,
    // at the cost of decoding tiles again.
    readRows = bandRows;
    scratchBytes = BlockBytes(plan.sourceStride, readRows);
    if (!scratchBytes) return {kResultOutOfMemory};
    scratch.Reset(LocalAlloc(LMEM_FIXED, *scratchBytes));
  }
  if (!scratch) return {kResultOutOfMemory};
  const bool quarter = plan.walk == Walk::kColumnsUpward || plan.walk == Walk::kColumnsDownward;
  std::vector<RowJob> jobs;
  try {
    jobs.resize(quarter ? width : bandRows);
  } catch (const std::bad_alloc&) {
    return {kResultOutOfMemory};
  }
  if (jobs.size() > static_cast<std::size_t>(INT_MAX)) return {kResultOutOfMemory};
  RunConstants run;
  run.op = plan.op;
  run.elementBytes = plan.elementBytes;
  run.background = plan.background;
  const RowBody body = RowBodyFor(plan.walk);
  auto* read = static_cast<std::uint8_t*>(scratch.Get());
  for (std::uint32_t r0 = begin; r0 < end; r0 += readRows) {
    const std::uint32_t r1 = std::min(end, r0 + readRows);
    const WICRect rect{0, static_cast<INT>(r0), static_cast<INT>(width), static_cast<INT>(r1 - r0)};
    if (const HRESULT hr = source->CopyPixels(&rect, static_cast<UINT>(plan.sourceStride),
                                              static_cast<UINT>(plan.sourceStride * (r1 - r0)), read);
        FAILED(hr))
      return Failed(hr);
    for (std::uint32_t y0 = r0; y0 < r1; y0 += bandRows) {
      const std::uint32_t y1 = std::min(r1, y0 + bandRows);
      const std::uint8_t* band = read + static_cast<std::size_t>(y0 - r0) * plan.sourceStride;
      RunConstants constants = run;
      const std::size_t count = JobsForBand(plan, picture, band, y0, y1, jobs, constants);
      const int n = static_cast<int>(count);
      if (!shared && plan.parallelFromRows != 0 && y1 - y0 >= plan.parallelFromRows) {
        ParallelForRows(n, body, jobs.data(), &constants);
      } else if (quarter && shared) {
        // A turned band writes a piece of every delivered row. Two decoders walking those
        // rows in step would fault in the same fresh pages together and wait on each other
        // (measured: the turned picture took twice the unturned one); staggered, each
        // mostly finds its pages already there.
        // The kernel walks jobs from the last down when their columns run leftward.
        const int skip = static_cast<int>(static_cast<std::uint64_t>(n) * share.index / share.count);
        if (constants.jobStep < 0) {
          body(0, n - skip, jobs.data(), &constants);
          body(n - skip, n, jobs.data(), &constants);
        } else {
          body(skip, n, jobs.data(), &constants);
          body(0, skip, jobs.data(), &constants);
        }
      } else {
        body(0, n, jobs.data(), &constants);
      }
    }
  }
  return {kResultSuccess};
}

void FinishPicture(WorkBitmap& picture) noexcept { picture.ClearPadding(); }

StreamOutcome StreamPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const CopyPlan& plan,
                            WorkBitmap& picture) {
  StreamOutcome outcome = BeginPicture(factory, source, plan, picture);
  if (outcome.result != kResultSuccess) return outcome;
  outcome = CopySourceRows(source, plan, picture, 0, plan.sourceHeight, RangeShare{});
  if (outcome.result == kResultSuccess) FinishPicture(picture);
  return outcome;
}

}  // namespace quorvel
