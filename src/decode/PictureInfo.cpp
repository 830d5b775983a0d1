// LoadPictureInfo / ReadPictureInfo.
#include "decode/PictureInfo.h"

#include <climits>
#include <cmath>

#include "decode/DecoderSession.h"
#include "decode/PixelFormatTable.h"

namespace quorvel {

std::uint16_t DensityFromDpi(double dotsPerInch) noexcept {
  const double perMetre = dotsPerInch / 0.0254;
  // Converting a double outside the integer's range is undefined; NaN fails both tests.
  if (!(perMetre >= 0.0) || !(perMetre < 9223372036854775808.0)) return 0;
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(perMetre) & 0xFFFF);
}

ResultCode ReadPictureInfo(IWICBitmapDecoder* decoder, susie::PictureInfo* info) {
  if (const ResultCode r = CheckTiffContainer(decoder); r != kResultSuccess) return r;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (const HRESULT hr = decoder->GetFrame(0, frame.Put()); FAILED(hr)) return MapFailure(hr);
  if (!frame) return kResultInternalError;
  UINT width = 0, height = 0;
  if (const HRESULT hr = frame->GetSize(&width, &height); FAILED(hr)) return MapFailure(hr);
  // The record's fields are signed: a larger size would read as negative. GetPicture
  // refuses such a picture as too large for memory, and so does this.
  if (width > static_cast<UINT>(INT_MAX) || height > static_cast<UINT>(INT_MAX)) return kResultOutOfMemory;
  double dpiX = 0, dpiY = 0;
  if (const HRESULT hr = frame->GetResolution(&dpiX, &dpiY); FAILED(hr)) return MapFailure(hr);
  GUID format{};
  if (const HRESULT hr = frame->GetPixelFormat(&format); FAILED(hr)) return MapFailure(hr);
  const PixelFormatEntry& entry = LookUpPixelFormat(format);

  info->left = 0;
  info->top = 0;
  info->width = static_cast<LONG>(width);
  info->height = static_cast<LONG>(height);
  info->x_density = DensityFromDpi(dpiX);
  info->y_density = DensityFromDpi(dpiY);
  info->colorDepth = static_cast<SHORT>(entry.bitCount);
  return kResultSuccess;
}

ResultCode LoadPictureInfo(const ImageSource& source, susie::PictureInfo* info) {
  DecoderSession session;
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  if (const ResultCode r = OpenDecoder(session, source, decoder); r != kResultSuccess) return r;
  return ReadPictureInfo(decoder.Get(), info);
}

}  // namespace quorvel
