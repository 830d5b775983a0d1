// One export call's session with the imaging component: COM initialised on the calling
// thread plus the imaging factory, and the ways of making a decoder over a source.
#pragma once

#include <wincodec.h>

#include "common/Owners.h"
#include "decode/ImageSource.h"
#include "common/ResultCode.h"

namespace quorvel {

class DecoderSession {
 public:
  // Initialises COM (single-threaded apartment) and creates the factory; Status() tells
  // whether that worked.
  DecoderSession() noexcept;
  // Releases the factory, then balances this session's own successful CoInitializeEx.
  ~DecoderSession();
  DecoderSession(const DecoderSession&) = delete;
  DecoderSession& operator=(const DecoderSession&) = delete;

  // 0, or the mapped failure of the factory's creation.
  ResultCode Status() const noexcept { return status_; }
  IWICImagingFactory* Factory() const noexcept { return factory_.Get(); }

 private:
  bool comInitialised_ = false;
  ComPtr<IWICImagingFactory> factory_;
  ResultCode status_ = kResultInternalError;
};

using Decoder = ComPtr<IWICBitmapDecoder>;

// Reads the block in place, without a copy: it must outlive the decoder and what it makes.
ResultCode OpenMemoryDecoder(const DecoderSession& session, const void* bytes, LONG_PTR count,
                             Decoder& decoder) noexcept;
ResultCode OpenFileDecoder(const DecoderSession& session, const wchar_t* name, Decoder& decoder) noexcept;
// The handle stays the caller's: it is neither moved nor closed.
ResultCode OpenHandleDecoder(const DecoderSession& session, HANDLE handle, Decoder& decoder) noexcept;
// Dispatches on the source's kind. The decoder is empty unless the result is 0.
ResultCode OpenDecoder(const DecoderSession& session, const ImageSource& source, Decoder& decoder) noexcept;

// 0 when the decoder reads the TIFF container, 2 for another container.
ResultCode CheckTiffContainer(IWICBitmapDecoder* decoder) noexcept;

}  // namespace quorvel
