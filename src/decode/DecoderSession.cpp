// Decoder session: COM initialisation, factory, decoder creation and the container check.
#include "decode/DecoderSession.h"

#include "common/GuidEquality.h"
#include "decode/WicGuids.h"

namespace quorvel {

DecoderSession::DecoderSession() noexcept {
  // S_FALSE (already initialised on this thread) is also a successful initialisation
  // that COM expects to be balanced; RPC_E_CHANGED_MODE (the thread is in the MTA) is
  // not, and the factory is then simply created in the thread's existing apartment.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  comInitialised_ = SUCCEEDED(init);
  const HRESULT hr = CoCreateInstance(kClsidWicImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidWicImagingFactory, factory_.PutVoid());
  status_ = FAILED(hr) ? MapFailure(hr) : (factory_ ? kResultSuccess : kResultInternalError);
}

DecoderSession::~DecoderSession() {
  factory_.Reset();
  if (comInitialised_) CoUninitialize();
}

ResultCode OpenMemoryDecoder(const DecoderSession& session, const void* bytes, LONG_PTR count,
                             Decoder& decoder) noexcept {
  if (!session.Factory() || bytes == nullptr) return kResultInternalError;
  // The stream counts in 32 bits: a negative length or one of 2^32 and more would
  // otherwise become a huge or truncated count.
  if (count < 0) return kResultInternalError;
  if (static_cast<unsigned long long>(count) > 0xFFFFFFFFull) return kResultInternalError;
  // The host's block is read where it lies: a copy of it (SHCreateMemStream) cost more
  // than the decode itself for large uncompressed pictures. Every object made here is
  // released before the export returns, and the decoder only ever reads the stream.
  ComPtr<IWICStream> stream;
  if (const HRESULT hr = session.Factory()->CreateStream(stream.Put()); FAILED(hr) || !stream)
    return FAILED(hr) ? MapFailure(hr) : kResultInternalError;
  if (const HRESULT hr = stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)),
                                                      static_cast<DWORD>(count));
      FAILED(hr))
    return MapFailure(hr);
  const HRESULT hr = session.Factory()->CreateDecoderFromStream(stream.Get(), nullptr,
                                                                WICDecodeMetadataCacheOnDemand, decoder.Put());
  if (FAILED(hr)) {
    decoder.Reset();
    return MapFailure(hr);
  }
  return decoder ? kResultSuccess : kResultInternalError;
}

ResultCode OpenFileDecoder(const DecoderSession& session, const wchar_t* name, Decoder& decoder) noexcept {
  if (!session.Factory() || name == nullptr || name[0] == L'\0') return kResultInternalError;
  const HRESULT hr = session.Factory()->CreateDecoderFromFilename(name, nullptr, GENERIC_READ,
                                                                  WICDecodeMetadataCacheOnDemand, decoder.Put());
  if (FAILED(hr)) {
    decoder.Reset();
    return MapFailure(hr);
  }
  return decoder ? kResultSuccess : kResultInternalError;
}

ResultCode OpenHandleDecoder(const DecoderSession& session, HANDLE handle, Decoder& decoder) noexcept {
  if (!session.Factory() || handle == INVALID_HANDLE_VALUE) return kResultInternalError;
  const HRESULT hr = session.Factory()->CreateDecoderFromFileHandle(reinterpret_cast<ULONG_PTR>(handle), nullptr,
                                                                    WICDecodeMetadataCacheOnDemand, decoder.Put());
  if (FAILED(hr)) {
    decoder.Reset();
    return MapFailure(hr);
  }
  return decoder ? kResultSuccess : kResultInternalError;
}

ResultCode OpenDecoder(const DecoderSession& session, const ImageSource& source, Decoder& decoder) noexcept {
  switch (source.kind) {
    case ImageSource::Kind::kMemory:
      return OpenMemoryDecoder(session, source.bytes, source.count, decoder);
    case ImageSource::Kind::kFile:
      return OpenFileDecoder(session, source.name, decoder);
  }
  return kResultInternalError;
}

ResultCode CheckTiffContainer(IWICBitmapDecoder* decoder) noexcept {
  if (decoder == nullptr) return kResultInternalError;
  GUID container{};
  const HRESULT hr = decoder->GetContainerFormat(&container);
  if (FAILED(hr)) return MapFailure(hr);
  return SameGuid(container, kGuidContainerFormatTiff) ? kResultSuccess : kResultUnknownFormat;
}

}  // namespace quorvel
