// DecodePicture: the steps from the container check to the hand-over.
#include "decode/DecodePicture.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "common/CheckedSize.h"
#include "decode/DecoderSession.h"
#include "decode/DibOutput.h"
#include "decode/PixelFormatTable.h"
#include "decode/PrepareSource.h"
#include "decode/RotatePicture.h"
#include "decode/TargetFormat.h"
#include "decode/WorkBitmap.h"

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

// The source's geometry and depth, the bitmap allocated for it and the pixels copied in.
// Returns the failing HRESULT through failed when CopyPixels is what failed.
ResultCode CopySource(IWICImagingFactory* factory, IWICBitmapSource* source, WorkBitmap& bitmap, SpareBlock& spare,
                      const PixelFormatEntry*& entry, HRESULT& copyFailure) {
  copyFailure = S_OK;
  UINT width = 0, height = 0;
  if (const HRESULT hr = source->GetSize(&width, &height); FAILED(hr)) return MapFailure(hr);
  double dpiX = 0, dpiY = 0;
  if (const HRESULT hr = source->GetResolution(&dpiX, &dpiY); FAILED(hr)) return MapFailure(hr);
  GUID format{};
  if (const HRESULT hr = source->GetPixelFormat(&format); FAILED(hr)) return MapFailure(hr);
  entry = &LookUpPixelFormat(format);
  const std::uint32_t bitCount = static_cast<std::uint32_t>(entry->bitCount);
  // Every target this pipeline converts into is in the table; anything else is the
  // imaging component misbehaving.
  if (bitCount == 0) return kResultInternalError;
  if (width == 0 || height == 0) return kResultUnknownFormat;
  // The copy's rectangle and the DIB header count in signed 32 bits, and CopyPixels takes
  // its buffer size in 32 bits (and checks it in 32-bit arithmetic): refuse what would wrap.
  if (width > static_cast<UINT>(INT_MAX) || height > static_cast<UINT>(INT_MAX)) return kResultOutOfMemory;
  const auto stride = RowStride(width, bitCount);
  if (!stride || *stride > UINT_MAX) return kResultOutOfMemory;
  const auto bufferSize = CheckedMul<std::uint64_t>(*stride, height);
  if (!bufferSize || *bufferSize > UINT_MAX) return kResultOutOfMemory;

  const Palette colors = bitCount <= 8 ? ReadPalette(factory, source, bitCount) : Palette{};
  if (const ResultCode r = bitmap.Allocate(width, height, bitCount, colors, spare); r != kResultSuccess) return r;
  const WICRect all{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
  const HRESULT hr = source->CopyPixels(&all, static_cast<UINT>(*stride), static_cast<UINT>(*bufferSize),
                                        bitmap.Pixels());
  if (FAILED(hr)) {
    copyFailure = hr;
    return MapFailure(hr);
  }
  return kResultSuccess;
}

}  // namespace

ResultCode DecodePicture(HLOCAL* pictureInfoOut, HLOCAL* pixelsOut, IWICImagingFactory* factory,
                         IWICBitmapDecoder* decoder, const Progress& progress) {
  if (const ResultCode r = CheckTiffContainer(decoder); r != kResultSuccess) return r;
  if (progress.StopRequestedAt(30)) return kResultAborted;

  PreparedSource prepared;
  if (const ResultCode r = PrepareSource(factory, decoder, prepared); r != kResultSuccess) return r;
  if (progress.StopRequestedAt(50)) return kResultAborted;

  // The spare slot outlives the bitmap's steps; both end with this call.
  SpareBlock spare;
  WorkBitmap bitmap;
  const PixelFormatEntry* entry = nullptr;
  HRESULT copyFailure = S_OK;
  ResultCode r = CopySource(factory, prepared.source.Get(), bitmap, spare, entry, copyFailure);
  // Some imaging components accept a conversion but cannot carry it out; 32-bit BGR(A)
  // is the conversion every one of them can do.
  if (r != kResultSuccess && IsUnsupportedConversion(copyFailure) &&
      std::memcmp(&prepared.target, &FallbackTargetFormat(prepared.alpha), sizeof(GUID)) != 0) {
    r = ConvertToFallback(factory, prepared);
    if (r == kResultSuccess) r = CopySource(factory, prepared.source.Get(), bitmap, spare, entry, copyFailure);
  }
  if (r != kResultSuccess) return r;
  if (progress.StopRequestedAt(60)) return kResultAborted;

  if (prepared.transform.rotation != 0) {
    if (const ResultCode turned = RotatePicture(bitmap, prepared.transform.rotation, spare); turned != kResultSuccess)
      return turned;
  }
  if (progress.StopRequestedAt(70)) return kResultAborted;

  if (!prepared.transform.keepTopDownRows) {
    if (const ResultCode flipped = FlipRowsBottomUp(bitmap, spare); flipped != kResultSuccess) return flipped;
  }
  if (progress.StopRequestedAt(80)) return kResultAborted;

  // entry describes the format after conversion: 32bppBGRA is composited or stripped by
  // the Alpha setting, 32bppBGR only loses its fourth byte.
  if (entry->hasAlpha || bitmap.Layout()->bitCount == 32) {
    if (const ResultCode reduced = ReduceTo24Bits(bitmap, spare, entry->hasAlpha); reduced != kResultSuccess)
      return reduced;
  }
  if (progress.StopRequestedAt(90)) return kResultAborted;

  LocalBlock info, bits;
  if (const ResultCode built = BuildDib(info, bits, bitmap); built != kResultSuccess) return built;
  *pixelsOut = bits.Release();
  *pictureInfoOut = info.Release();
  // From here the handles are the host's, whatever it answers.
  return progress.StopRequestedAt(100) ? kResultAborted : kResultSuccess;
}

}  // namespace quorvel
