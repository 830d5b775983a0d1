// StreamPicture: geometry checks, the palette, the output plan and the banded copy.
#include "decode/StreamPicture.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "common/CheckedSize.h"
#include "decode/PixelFormatTable.h"
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

// Scratch bands small enough to stay in the caches between the copy out of the imaging
// component and the pass that writes them into place: a quarter megabyte of rows along
// rows, and about 3 MB for quarter turns (see below).
constexpr std::size_t kBandBytes = 256 * 1024;
constexpr std::size_t kTurnBandBytes = 3 * 1024 * 1024;
constexpr std::uint32_t kTurnBandRowsMin = 32, kTurnBandRowsMax = 512;
constexpr std::size_t kParallelBandBytes = 512 * 1024;

struct Plan {
  std::uint32_t width, height;  // of the source
  std::uint32_t bitCount;       // of the source
  std::size_t stride;           // of the source rows
  OrientationTransform transform;
  RunConstants run;             // op, element size; counts and steps per band
};

// Where the band's rows go. T is the picture turned top-down; memory row m of the
// delivered picture holds T's row k (kept top-down) or row H'-1-k (bottom-up).
std::size_t JobsForBand(const Plan& p, const WorkBitmap& out, const std::uint8_t* band, std::uint32_t y0, std::uint32_t y1,
                        std::vector<RowJob>& jobs, RunConstants& run) {
  const BitmapLayout& o = *out.Layout();
  const auto memoryRow = [&](std::uint32_t k) {
    const std::uint32_t m = p.transform.keepTopDownRows ? k : o.height - 1 - k;
    return out.Pixels() + m * o.stride;
  };
  const std::ptrdiff_t e = run.elementBytes, s = static_cast<std::ptrdiff_t>(p.stride);
  const std::uint32_t dstBytes = DestinationElementBytes(run);
  const std::uint32_t rows = y1 - y0;
  switch (p.transform.rotation) {
    case 0:  // T row y = source row y; copies take whole rows, padding included
      run.count = run.op == PixelOp::kCopy ? static_cast<std::uint32_t>(p.stride) : p.width;
      run.elementStep = e;
      for (std::uint32_t y = y0; y < y1; ++y) jobs[y - y0] = {memoryRow(y), band + (y - y0) * p.stride};
      return rows;
    case 2:  // T row H-1-y = source row y right to left
      run.count = p.width;
      run.elementStep = -e;
      for (std::uint32_t y = y0; y < y1; ++y)
        jobs[y - y0] = {memoryRow(p.height - 1 - y), band + (y - y0) * p.stride + (static_cast<std::ptrdiff_t>(p.width) - 1) * e};
      return rows;
    case 1:  // T[k][j] = A[H-1-j][k]: the band fills columns H-y1 .. H-1-y0 of every T row, read upwards
      run.count = rows;
      run.elementStep = -s;
      run.jobStep = e;
      for (std::uint32_t k = 0; k < p.width; ++k)
        jobs[k] = {memoryRow(k) + static_cast<std::size_t>(p.height - y1) * dstBytes, band + (rows - 1) * p.stride + k * e};
      return p.width;
    default:  // 3: T[k][j] = A[j][W-1-k]: the band fills columns y0 .. y1-1, read downwards
      run.count = rows;
      run.elementStep = s;
      run.jobStep = -e;
      for (std::uint32_t k = 0; k < p.width; ++k)
        jobs[k] = {memoryRow(k) + static_cast<std::size_t>(y0) * dstBytes, band + (static_cast<std::ptrdiff_t>(p.width) - 1 - k) * e};
      return p.width;
  }
}

StreamOutcome Failed(HRESULT hr) { return {MapFailure(hr), hr}; }

}  // namespace

StreamOutcome StreamPicture(IWICImagingFactory* factory, IWICBitmapSource* source, const OrientationTransform& transform,
                            const PictureOptions& options, WorkBitmap& picture) {
  UINT width = 0, height = 0;
  if (const HRESULT hr = source->GetSize(&width, &height); FAILED(hr)) return {MapFailure(hr)};
  double dpiX = 0, dpiY = 0;  // asked for, as every decode does; the DIB carries no resolution
  if (const HRESULT hr = source->GetResolution(&dpiX, &dpiY); FAILED(hr)) return {MapFailure(hr)};
  GUID format{};
  if (const HRESULT hr = source->GetPixelFormat(&format); FAILED(hr)) return {MapFailure(hr)};
  const PixelFormatEntry& entry = LookUpPixelFormat(format);
  const std::uint32_t bitCount = static_cast<std::uint32_t>(entry.bitCount);
  // Every target this pipeline converts into is in the table; anything else is the
  // imaging component misbehaving.
  if (bitCount == 0) return {kResultInternalError};
  if (width == 0 || height == 0) return {kResultUnknownFormat};
  // Rectangles and DIB headers count in signed 32 bits, and the imaging component checks
  // buffer sizes in 32-bit arithmetic: refuse what would wrap there.
  if (width > static_cast<UINT>(INT_MAX) || height > static_cast<UINT>(INT_MAX)) return {kResultOutOfMemory};
  const auto stride = RowStride(width, bitCount);
  if (!stride || *stride > UINT_MAX) return {kResultOutOfMemory};
  const auto wholeSize = CheckedMul<std::uint64_t>(*stride, height);
  if (!wholeSize || *wholeSize > UINT_MAX) return {kResultOutOfMemory};
  // Turning handles whole 8-, 16-, 24- and 32-bit elements only.
  if (transform.rotation > 3) return {kResultInternalError};
  if (transform.rotation != 0 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return {MapFailure(HRESULT_FROM_WIN32(ERROR_INVALID_PIXEL_FORMAT))};

  Plan plan{width, height, bitCount, *stride, transform, {}};
  RunConstants& run = plan.run;
  // 32-bit pixels never reach the host: alpha composited or dropped, else the fourth byte dropped.
  if (entry.hasAlpha || bitCount == 32) {
    run.op = entry.hasAlpha && options.compositeAlpha ? PixelOp::kComposite32To24 : PixelOp::kStrip32To24;
    run.background = options.background;
    run.elementBytes = 4;
  } else if (transform.rotation != 0) {
    run.elementBytes = bitCount / 8;
  } else {
    // Unturned rows are copied as whole rows of bytes, whatever the depth (1 and 4 bits included).
    run.elementBytes = 1;
  }
  const bool converts = run.op != PixelOp::kCopy;
  const std::uint32_t outBits = converts ? 24 : bitCount;
  const bool quarter = transform.rotation % 2 == 1;
  const Palette colors = bitCount <= 8 ? ReadPalette(factory, source, bitCount) : Palette{};
  if (const ResultCode r = picture.Allocate(quarter ? height : width, quarter ? width : height, outBits, colors);
      r != kResultSuccess)
    return {r};
  const BitmapLayout& out = *picture.Layout();
  const UINT outStride = static_cast<UINT>(out.stride);

  if (!converts && transform.rotation == 0 && transform.keepTopDownRows) {
    // Same rows in the same order: straight into place, no scratch and no second pass.
    const WICRect all{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    if (const HRESULT hr = source->CopyPixels(&all, outStride, static_cast<UINT>(*wholeSize), picture.Pixels()); FAILED(hr))
      return Failed(hr);
    picture.ClearPadding();
    return {kResultSuccess};
  }

  // Quarter turns write each destination row a band's height at a time. Every band
  // touches every destination row, so taller bands mean fewer partly written cache lines
  // and fewer page walks, as long as a band stays in the shared cache: bands of about
  // 3 MB (6000 pixels a row: 128 rows of 32-bit pixels, 512 of 8-bit ones) measured best,
  // a third faster than 32 rows of 32-bit pixels and 40 % faster than 128 of 8-bit ones.
  // A multiple of 16 rows: the kernels go 8 or 16 rows at a time, and the rows left over
  // at a band's end take the element-by-element path.
  const std::uint32_t turnRows = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(kTurnBandBytes / *stride / 16 * 16, kTurnBandRowsMin, kTurnBandRowsMax));
  const std::uint32_t bandRows = quarter ? std::min(turnRows, height)
                                         : std::clamp<std::uint32_t>(static_cast<std::uint32_t>(kBandBytes / *stride), 1, height);
  // 4 bytes of slack: the column kernel reads 24-bit pixels as 4-byte words.
  const auto scratchBytes = BlockBytes(*stride, bandRows);
  if (!scratchBytes) return {kResultOutOfMemory};
  LocalBlock scratch(LocalAlloc(LMEM_FIXED, *scratchBytes));
  if (!scratch) return {kResultOutOfMemory};
  std::vector<RowJob> jobs;
  try {
    jobs.resize(quarter ? width : bandRows);
  } catch (const std::bad_alloc&) {
    return {kResultOutOfMemory};
  }
  if (jobs.size() > static_cast<std::size_t>(INT_MAX)) return {kResultOutOfMemory};
  auto* band = static_cast<std::uint8_t*>(scratch.Get());
  for (std::uint32_t y0 = 0; y0 < height; y0 += bandRows) {
    const std::uint32_t y1 = std::min(height, y0 + bandRows);
    const WICRect rect{0, static_cast<INT>(y0), static_cast<INT>(width), static_cast<INT>(y1 - y0)};
    if (const HRESULT hr = source->CopyPixels(&rect, static_cast<UINT>(*stride), static_cast<UINT>(*stride * (y1 - y0)), band);
        FAILED(hr))
      return Failed(hr);
    RunConstants constants = run;
    const std::size_t count = JobsForBand(plan, picture, band, y0, y1, jobs, constants);
    // Waking the worker threads costs more than a small band's work: bands along rows,
    // and quarter-turn bands of less than half a megabyte, stay on this thread.
    if (quarter && static_cast<std::size_t>(y1 - y0) * *stride >= kParallelBandBytes)
      ParallelForRows(static_cast<int>(count), &RunRows, jobs.data(), &constants);
    else
      RunRows(0, static_cast<int>(count), jobs.data(), &constants);
  }
  picture.ClearPadding();
  return {kResultSuccess};
}

}  // namespace quorvel
