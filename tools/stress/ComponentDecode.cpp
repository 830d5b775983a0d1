// ComponentGivesDifferentPixels over a stream on a copy of the bytes.
#include "ComponentDecode.h"

#include <windows.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <cstring>

#include "common/Owners.h"

namespace stress {
namespace {

using quorvel::ComPtr;

// The pixels of frame 0 in its own format, or empty when any step fails.
std::vector<std::uint8_t> DecodeOnce(IWICImagingFactory* factory, const std::vector<std::uint8_t>& bytes) {
  ComPtr<IStream> stream;
  *stream.Put() = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICComponentInfo> info;
  ComPtr<IWICPixelFormatInfo> format;
  UINT width = 0, height = 0, bits = 0;
  GUID pixelFormat{};
  if (!stream ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put())) ||
      FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(frame->GetSize(&width, &height)) ||
      FAILED(frame->GetPixelFormat(&pixelFormat)) || FAILED(factory->CreateComponentInfo(pixelFormat, info.Put())) ||
      FAILED(info.As(format)) || FAILED(format->GetBitsPerPixel(&bits)))
    return {};
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  // Small pictures only: the question is asked of hostile cases, never of big pictures.
  if (width == 0 || height == 0 || stride * height > (64u << 20)) return {};
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * height), 0);
  if (FAILED(frame->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(pixels.size()), pixels.data())))
    return {};
  return pixels;
}

}  // namespace

bool ComponentGivesDifferentPixels(const std::vector<std::uint8_t>& bytes, int decodes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return false;
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool different = false;
  {
    ComPtr<IWICImagingFactory> factory;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   factory.PutVoid()))) {
      const std::vector<std::uint8_t> first = DecodeOnce(factory.Get(), bytes);
      for (int i = 1; i < decodes && !first.empty() && !different; ++i) {
        const std::vector<std::uint8_t> again = DecodeOnce(factory.Get(), bytes);
        different = !again.empty() && again != first;
      }
    }
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return different;
}

}  // namespace stress
