// The DIB a host receives, read back for comparison: header, colour table and pixels
// as top-down BGR triples whatever the bit depth.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hostkit {

struct Bgr {
  std::uint8_t b = 0, g = 0, r = 0;
  bool operator==(const Bgr&) const = default;
};

struct Dib {
  BITMAPINFOHEADER header{};
  std::vector<RGBQUAD> colors;
  SIZE_T infoBytes = 0;   // LocalSize of the info block
  SIZE_T pixelBytes = 0;  // LocalSize of the pixel block
  std::size_t stride = 0;
  std::vector<std::uint8_t> bits;  // rows as stored (bottom-up), stride each
  std::vector<Bgr> pixels;         // width * height, top-down as the host shows them

  int Width() const { return header.biWidth; }
  int Height() const { return header.biHeight; }
  Bgr At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * Width() + x]; }
  // Index into the colour table for <= 8-bit pictures, top-down.
  std::uint32_t IndexAt(int x, int y) const;
};

// The reason ReadDib gives for a well-formed picture too large to copy into this process.
inline constexpr const char* kTooLargeToReadBack = "too large to read back";

// Reads both blocks (which stay owned by the caller). False with a reason when the
// geometry does not fit the blocks.
bool ReadDib(HLOCAL info, HLOCAL bitsBlock, Dib& dib, std::string* why = nullptr);

// 64-bit FNV-1a over the header's geometry, the colour table and every row's pixel bytes
// (padding and the unused bits after a row's last pixel excluded): equal for equal
// pictures in both builds.
std::uint64_t DibDigest(const Dib& dib);

// The same over the whole pixel block as stored, padding included: equal only when the
// host receives the very same bytes.
std::uint64_t BlockDigest(const Dib& dib);

// Empty when the bits and bytes after each row's last pixel are all zero; otherwise where
// the first one is not.
std::string PaddingProblem(const Dib& dib);

// Writes a .bmp file of the two blocks.
bool WriteBmp(const std::wstring& path, HLOCAL info, HLOCAL bits);

}  // namespace hostkit
