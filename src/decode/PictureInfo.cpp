// LoadFrameFacts / ReadFrameFacts.
#include "decode/PictureInfo.h"

#include <climits>

#include "decode/DecoderSession.h"
#include "decode/PixelFormatTable.h"

namespace quorvel {

ResultCode ReadFrameFacts(IWICBitmapDecoder* decoder, FrameFacts& facts) {
  if (const ResultCode r = CheckTiffContainer(decoder); r != kResultSuccess) return r;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (const HRESULT hr = decoder->GetFrame(0, frame.Put()); FAILED(hr)) return MapFailure(hr);
  if (!frame) return kResultInternalError;
  UINT width = 0, height = 0;
  if (const HRESULT hr = frame->GetSize(&width, &height); FAILED(hr)) return MapFailure(hr);
  // The host's record counts in signed 32 bits: a larger size would read as negative.
  // GetPicture refuses such a picture as too large for memory, and so does this.
  if (width > static_cast<UINT>(INT_MAX) || height > static_cast<UINT>(INT_MAX)) return kResultOutOfMemory;
  double dpiX = 0, dpiY = 0;
  if (const HRESULT hr = frame->GetResolution(&dpiX, &dpiY); FAILED(hr)) return MapFailure(hr);
  GUID format{};
  if (const HRESULT hr = frame->GetPixelFormat(&format); FAILED(hr)) return MapFailure(hr);
  facts = {width, height, dpiX, dpiY, static_cast<std::uint32_t>(LookUpPixelFormat(format).bitCount)};
  return kResultSuccess;
}

ResultCode LoadFrameFacts(const ImageSource& source, FrameFacts& facts) {
  DecoderSession session;
  if (session.Status() != kResultSuccess) return session.Status();
  Decoder decoder;
  if (const ResultCode r = OpenDecoder(session, source, decoder); r != kResultSuccess) return r;
  return ReadFrameFacts(decoder.Get(), facts);
}

}  // namespace quorvel
