// ProbeFrame and ComponentConverts over a memory stream.
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

const GUID kWic2bppIndexed = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x02}};
const GUID kWic4bppIndexed = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x03}};
const GUID kWic8bppIndexed = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x04}};
const GUID kWic2bppGray = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x06}};
const GUID kWic4bppGray = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x07}};
const GUID kWic24bppBGR = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0c}};
const GUID kWic24bppRGB = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0d}};
const GUID kWic32bppBGR = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0e}};
const GUID kWic32bppBGRA = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x0f}};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

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

bool ComponentConverts(const std::vector<std::uint8_t>& file, const GUID& target) {
  Com com;
  Ref<IWICImagingFactory> factory;
  Ref<IWICBitmapFrameDecode> frame;
  if (!OpenFrame(file, factory, frame)) return false;
  GUID format{};
  frame.p->GetPixelFormat(&format);
  if (SameGuid(format, target)) return true;
  Ref<IWICFormatConverter> converter;
  if (FAILED(factory.p->CreateFormatConverter(&converter.p))) return false;
  if (FAILED(converter.p->Initialize(frame.p, target, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeMedianCut)))
    return false;
  UINT w = 0, h = 0;
  converter.p->GetSize(&w, &h);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * 16 * h + 16);
  return SUCCEEDED(converter.p->CopyPixels(nullptr, w * 16, static_cast<UINT>(pixels.size()), pixels.data()));
}

}  // namespace testsupport
