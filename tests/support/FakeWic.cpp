// FakeDecoder, FakeFrame and FakeQueryReader.
#include "FakeWic.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace testsupport {
namespace {

constexpr GUID kTiff = {0x163bcc30, 0xe2e9, 0x4f0b, {0x96, 0x1d, 0xa3, 0xe9, 0xfd, 0xb7, 0x88, 0xa3}};
constexpr GUID kPng = {0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};

template <class Self>
class Counted {
 public:
  explicit Counted(FakeCounters& counters) : counters_(counters) { counters_.liveObjects++; }
  virtual ~Counted() { counters_.liveObjects--; }
  ULONG AddRefImpl() { return ++refs_; }
  ULONG ReleaseImpl() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  FakeCounters& counters_;

 private:
  std::atomic<ULONG> refs_{1};
};

class FakeFrame : public IWICBitmapFrameDecode, public Counted<FakeFrame> {
 public:
  FakeFrame(const FakeFrameSetup& setup, FakeCounters& c) : Counted(c), setup_(setup) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IWICBitmapFrameDecode) ||
        (iid == __uuidof(IWICBitmapSource) && !setup_.refuseBitmapSource)) {
      *out = static_cast<IWICBitmapFrameDecode*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
  HRESULT STDMETHODCALLTYPE GetSize(UINT* w, UINT* h) override {
    if (FAILED(setup_.getSizeResult)) return setup_.getSizeResult;
    *w = setup_.width;
    *h = setup_.height;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    *format = setup_.format;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    *x = setup_.dpiX;
    *y = setup_.dpiY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override {
    if (!setup_.palette) return WINCODEC_ERR_PALETTEUNAVAILABLE;
    return palette->InitializeCustom(const_cast<WICColor*>(setup_.palette->data()), static_cast<UINT>(setup_.palette->size()));
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size, BYTE* buffer) override {
    counters_.copyPixelsCalls++;
    if (FAILED(setup_.copyPixelsResult)) return setup_.copyPixelsResult;
    WICRect all{0, 0, static_cast<INT>(setup_.width), static_cast<INT>(setup_.height)};
    const WICRect r = rect ? *rect : all;
    if (r.X < 0 || r.Y < 0 || r.X + r.Width > all.Width || r.Y + r.Height > all.Height) return E_INVALIDARG;
    const std::size_t rowBytes = (static_cast<std::size_t>(setup_.width) * setup_.bitsPerPixel + 7) / 8;
    const std::size_t outBytes = (static_cast<std::size_t>(r.Width) * setup_.bitsPerPixel + 7) / 8;
    if (stride < outBytes || (r.Height > 0 && size < stride * (r.Height - 1) + outBytes)) return E_INVALIDARG;
    if (setup_.bitsPerPixel % 8 != 0 && r.X != 0) return E_NOTIMPL;
    for (INT y = 0; y < r.Height; ++y) {
      const std::size_t from = (r.Y + y) * rowBytes + static_cast<std::size_t>(r.X) * setup_.bitsPerPixel / 8;
      if (from + outBytes <= setup_.pixels.size()) std::memcpy(buffer + y * stride, setup_.pixels.data() + from, outBytes);
      if (setup_.scribblePadding) {
        // Like a component that leaves its own leftovers there: the spare bits of the last
        // byte and the rest of the stride, as far as the buffer reaches.
        const std::size_t bits = static_cast<std::size_t>(r.Width) * setup_.bitsPerPixel;
        if (bits % 8 != 0) buffer[y * stride + outBytes - 1] |= static_cast<BYTE>(0xFFu >> (bits % 8));
        const std::size_t rowEnd = std::min<std::size_t>(stride, size - static_cast<std::size_t>(y) * stride);
        if (rowEnd > outBytes) std::memset(buffer + y * stride + outBytes, 0xA5, rowEnd - outBytes);
      }
    }
    return S_OK;
  }
  // The plug-in reads metadata from the bytes, never through the component: a request
  // is counted (the tests expect none) and refused.
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
    counters_.metadataReaderRequests++;
    *reader = nullptr;
    return WINCODEC_ERR_UNSUPPORTEDOPERATION;
  }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override { return WINCODEC_ERR_CODECNOTHUMBNAIL; }

 private:
  const FakeFrameSetup& setup_;
};

class FakeDecoder : public IWICBitmapDecoder, public Counted<FakeDecoder> {
 public:
  FakeDecoder(const FakeFrameSetup& setup, FakeCounters& c) : Counted(c), setup_(setup) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IWICBitmapDecoder)) {
      *out = static_cast<IWICBitmapDecoder*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
  HRESULT STDMETHODCALLTYPE QueryCapability(IStream*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Initialize(IStream*, WICDecodeOptions) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override {
    *format = setup_.containerIsTiff ? kTiff : kPng;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override { return WINCODEC_ERR_CODECNOTHUMBNAIL; }
  HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override {
    *frame = nullptr;
    if (index != 0) return E_INVALIDARG;
    *frame = new FakeFrame(setup_, counters_);
    return S_OK;
  }

 private:
  const FakeFrameSetup& setup_;
};

}  // namespace

IWICBitmapDecoder* MakeFakeDecoder(const FakeFrameSetup& setup, FakeCounters& counters) {
  return new FakeDecoder(setup, counters);
}

}  // namespace testsupport
