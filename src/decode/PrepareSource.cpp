// PrepareSource: frame, orientation, palette alpha, target choice and the converter.
#include "decode/PrepareSource.h"

#include "common/GuidEquality.h"
#include "decode/PixelFormatGuids.h"
#include "decode/PixelFormatTable.h"
#include "decode/TargetFormat.h"

namespace quorvel {
namespace {

// A bitmap source over the frame that delivers target: the frame itself when it already
// has that format, a median-cut converter otherwise. Returns the failing HRESULT.
HRESULT MakeSource(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const GUID& frameFormat,
                   const GUID& target, ComPtr<IWICBitmapSource>& source) noexcept {
  source.Reset();
  if (SameGuid(frameFormat, target)) {
    ComPtr<IWICBitmapFrameDecode> self;
    frame->AddRef();
    *self.Put() = frame;
    return self.As(source);
  }
  ComPtr<IWICFormatConverter> converter;
  if (const HRESULT hr = factory->CreateFormatConverter(converter.Put()); FAILED(hr)) return hr;
  if (!converter) return E_POINTER;
  if (const HRESULT hr = converter->Initialize(frame, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                               WICBitmapPaletteTypeMedianCut);
      FAILED(hr))
    return hr;
  return converter.As(source);
}

ResultCode SourceResult(HRESULT hr, const ComPtr<IWICBitmapSource>& source) noexcept {
  if (FAILED(hr)) return MapFailure(hr);
  // An interface that answers S_OK without a pointer is of no use either.
  return source ? kResultSuccess : kResultInternalError;
}

}  // namespace

bool IsUnsupportedConversion(HRESULT hr) noexcept {
  return hr == WINCODEC_ERR_UNSUPPORTEDOPERATION || hr == WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
}

ResultCode PrepareSource(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, const PictureOptions& options,
                         PreparedSource& prepared) {
  if (decoder == nullptr || factory == nullptr) return kResultInternalError;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (const HRESULT hr = decoder->GetFrame(0, frame.Put()); FAILED(hr)) return MapFailure(hr);
  if (!frame) return kResultInternalError;

  prepared.transform = options.applyOrientation ? ReadOrientation(frame.Get()) : OrientationTransform{};

  GUID frameFormat{};
  if (const HRESULT hr = frame->GetPixelFormat(&frameFormat); FAILED(hr)) return MapFailure(hr);
  const PixelFormatEntry& entry = LookUpPixelFormat(frameFormat);

  bool alpha = entry.hasAlpha;
  if (entry.bitCount <= 8) {
    ComPtr<IWICPalette> palette;
    if (SUCCEEDED(factory->CreatePalette(palette.Put())) && palette &&
        SUCCEEDED(frame->CopyPalette(palette.Get())) && !alpha) {
      BOOL paletteAlpha = FALSE;
      alpha = SUCCEEDED(palette->HasAlpha(&paletteAlpha)) && paletteAlpha;
    }
  }

  prepared.alpha = alpha;
  prepared.target = ChooseTargetFormat(frameFormat, entry, alpha, prepared.transform.rotation);
  HRESULT hr = MakeSource(factory, frame.Get(), frameFormat, prepared.target, prepared.source);
  if (IsUnsupportedConversion(hr)) {
    const GUID& fallback = FallbackTargetFormat(alpha);
    if (!SameGuid(fallback, prepared.target)) {
      prepared.target = fallback;
      hr = MakeSource(factory, frame.Get(), frameFormat, prepared.target, prepared.source);
    }
  }
  prepared.frame = std::move(frame);
  return SourceResult(hr, prepared.source);
}

ResultCode ConvertToFallback(IWICImagingFactory* factory, PreparedSource& prepared) noexcept {
  if (!prepared.frame) return kResultInternalError;
  GUID frameFormat{};
  if (const HRESULT hr = prepared.frame->GetPixelFormat(&frameFormat); FAILED(hr)) return MapFailure(hr);
  prepared.target = FallbackTargetFormat(prepared.alpha);
  const HRESULT hr = MakeSource(factory, prepared.frame.Get(), frameFormat, prepared.target, prepared.source);
  return SourceResult(hr, prepared.source);
}

}  // namespace quorvel
