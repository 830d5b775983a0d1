// ProbeFrame and ProbeDirectory over a memory stream.
#include "WicProbe.h"

#include <windows.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <cstring>

namespace testsupport {
namespace {

constexpr GUID kFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
};

struct Com {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~Com() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

bool OpenFrame(const std::vector<std::uint8_t>& file, Ref<IWICImagingFactory>& factory, Ref<IWICBitmapFrameDecode>& frame) {
  if (FAILED(CoCreateInstance(kFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                              reinterpret_cast<void**>(&factory.p))))
    return false;
  Ref<IStream> stream;
  stream.p = SHCreateMemStream(file.data(), static_cast<UINT>(file.size()));
  Ref<IWICBitmapDecoder> decoder;
  if (!stream.p || FAILED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder.p)))
    return false;
  return SUCCEEDED(decoder.p->GetFrame(0, &frame.p));
}

}  // namespace

std::optional<FrameFacts> ProbeFrame(const std::vector<std::uint8_t>& file) {
  Com com;
  Ref<IWICImagingFactory> factory;
  Ref<IWICBitmapFrameDecode> frame;
  if (!OpenFrame(file, factory, frame)) return std::nullopt;
  FrameFacts facts;
  if (FAILED(frame.p->GetPixelFormat(&facts.format)) || FAILED(frame.p->GetResolution(&facts.dpiX, &facts.dpiY)) ||
      FAILED(frame.p->GetSize(&facts.width, &facts.height)))
    return std::nullopt;
  return facts;
}

namespace {

std::uint32_t Count(IWICMetadataQueryReader* reader, const wchar_t* query, bool shortOnly) {
  PROPVARIANT v;
  PropVariantInit(&v);
  std::uint32_t value = 0;
  if (SUCCEEDED(reader->GetMetadataByName(query, &v))) {
    if (v.vt == VT_UI2) value = v.uiVal;
    else if (v.vt == VT_UI4 && !shortOnly) value = v.ulVal;
  }
  PropVariantClear(&v);
  return value;
}

}  // namespace

std::optional<ComponentDirectory> ProbeDirectory(const std::vector<std::uint8_t>& file) {
  Com com;
  Ref<IWICImagingFactory> factory;
  Ref<IWICBitmapFrameDecode> frame;
  if (!OpenFrame(file, factory, frame)) return std::nullopt;
  Ref<IWICMetadataQueryReader> reader;
  if (FAILED(frame.p->GetMetadataQueryReader(&reader.p)) || !reader.p) return std::nullopt;
  ComponentDirectory d;
  d.orientation = static_cast<std::uint16_t>(Count(reader.p, L"/ifd/{ushort=274}", true));
  d.stripRows = Count(reader.p, L"/ifd/{ushort=323}", false);
  if (d.stripRows == 0) d.stripRows = Count(reader.p, L"/ifd/{ushort=278}", false);
  d.tileWidth = Count(reader.p, L"/ifd/{ushort=322}", false);
  return d;
}

}  // namespace testsupport
