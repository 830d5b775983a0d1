// PrepareSource: the frame's facts, the plan and the converter.
#include "decode/PrepareSource.h"

#include "common/GuidEquality.h"
#include "decode/PixelFormatGuids.h"
#include "decode/ParallelDecode.h"
#include "decode/PixelFormatTable.h"

namespace quorvel {

// The converter quantises with median cut where it must reduce colours.
HRESULT MakeSourceInFormat(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const GUID& frameFormat,
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

namespace {

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
                         const DirectoryFacts& directory, PreparedSource& prepared) {
  if (decoder == nullptr || factory == nullptr) return kResultInternalError;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (const HRESULT hr = decoder->GetFrame(0, frame.Put()); FAILED(hr)) return MapFailure(hr);
  if (!frame) return kResultInternalError;

  FrameDescription& d = prepared.description;
  d.transform = options.applyOrientation ? TransformForTag(directory.orientation) : OrientationTransform{};
  if (const HRESULT hr = frame->GetPixelFormat(&d.format); FAILED(hr)) return MapFailure(hr);
  if (const HRESULT hr = frame->GetSize(&d.width, &d.height); FAILED(hr)) return MapFailure(hr);
  d.stripRows = directory.stripRows;
  d.tiled = directory.tileWidth != 0;
  if (LookUpPixelFormat(d.format).bitCount <= 8) {
    ComPtr<IWICPalette> palette;
    BOOL paletteAlpha = FALSE;
    d.paletteAlpha = SUCCEEDED(factory->CreatePalette(palette.Put())) && palette &&
                     SUCCEEDED(frame->CopyPalette(palette.Get())) && SUCCEEDED(palette->HasAlpha(&paletteAlpha)) &&
                     paletteAlpha;
  }

  prepared.plan = PlanCopy(d, options);
  prepared.frame = std::move(frame);
  // A picture that cannot be delivered is refused where the copy begins, after report 50,
  // as hosts have always seen it.
  if (prepared.plan.result != kResultSuccess) return kResultSuccess;
  const HRESULT hr = MakeSourceInFormat(factory, prepared.frame.Get(), d.format, prepared.plan.target, prepared.source);
  if (IsUnsupportedConversion(hr) && prepared.plan.HasFallback()) {
    const ResultCode converted = ConvertToFallback(factory, options, prepared);
    // A refusal of the fallback's plan, too, comes where the copy begins.
    return prepared.plan.result != kResultSuccess ? kResultSuccess : converted;
  }
  return SourceResult(hr, prepared.source);
}

ResultCode ConvertToFallback(IWICImagingFactory* factory, const PictureOptions& options, PreparedSource& prepared) {
  if (!prepared.frame) return kResultInternalError;
  prepared.plan = PlanCopy(prepared.description, options, &prepared.plan.fallback);
  if (prepared.plan.result != kResultSuccess) return prepared.plan.result;
  const HRESULT hr =
      MakeSourceInFormat(factory, prepared.frame.Get(), prepared.description.format, prepared.plan.target, prepared.source);
  return SourceResult(hr, prepared.source);
}

}  // namespace quorvel
