// Stand-ins for the imaging component's decoder and frame, for unit tests of the decoding
// pipeline: any pixel format, palette, size or failure can be given, and the plug-in's
// use of them is counted. The real factory's
// format converter works over them, since a fake frame is a real IWICBitmapSource.
#pragma once

#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace testsupport {

struct FakeFrameSetup {
  UINT width = 1;
  UINT height = 1;
  GUID format{};
  UINT bitsPerPixel = 8;
  double dpiX = 72, dpiY = 72;
  std::optional<std::vector<WICColor>> palette;  // none: CopyPalette fails
  std::vector<std::uint8_t> pixels;              // packed rows, ceil(width * bpp / 8) bytes each
  // The orientation tag of the file's first directory, for the tests to hand to the
  // pipeline as its directory facts (the frame itself has no metadata).
  std::uint16_t orientation = 0;
  bool refuseBitmapSource = false;  // QueryInterface for IWICBitmapSource answers E_NOINTERFACE
  HRESULT copyPixelsResult = S_OK;
  bool scribblePadding = false;  // CopyPixels fills what follows each row's pixels with 0xA5
  HRESULT getSizeResult = S_OK;
  bool containerIsTiff = true;
};

struct FakeCounters {
  std::atomic<int> liveObjects{0};
  std::atomic<int> metadataReaderRequests{0};
  std::atomic<int> copyPixelsCalls{0};
};

// A decoder over one frame. The returned pointer holds one reference.
IWICBitmapDecoder* MakeFakeDecoder(const FakeFrameSetup& setup, FakeCounters& counters);

}  // namespace testsupport
