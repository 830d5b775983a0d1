// ReadDib, DibDigest, WriteBmp.
#include "Dib.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace hostkit {

std::uint32_t Dib::IndexAt(int x, int y) const {
  const int row = Height() - 1 - y;
  const std::uint8_t* p = bits.data() + static_cast<std::size_t>(row) * stride;
  const int bpp = header.biBitCount;
  const std::size_t bit = static_cast<std::size_t>(x) * bpp;
  return (p[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

bool ReadDib(HLOCAL info, HLOCAL bitsBlock, Dib& dib, std::string* why) {
  auto fail = [&](const char* reason) {
    if (why) *why = reason;
    return false;
  };
  if (!info || !bitsBlock) return fail("missing block");
  dib.infoBytes = LocalSize(info);
  dib.pixelBytes = LocalSize(bitsBlock);
  if (dib.infoBytes < sizeof(BITMAPINFOHEADER)) return fail("info block too small");
  const auto* base = static_cast<const std::uint8_t*>(LocalLock(info));
  std::memcpy(&dib.header, base, sizeof(BITMAPINFOHEADER));
  const BITMAPINFOHEADER& h = dib.header;
  if (h.biSize != 40 || h.biWidth <= 0 || h.biHeight <= 0 || h.biPlanes != 1) {
    LocalUnlock(info);
    return fail("bad header");
  }
  const std::size_t colorCount = h.biBitCount <= 8 ? (std::size_t{1} << h.biBitCount) : 0;
  if (dib.infoBytes < sizeof(BITMAPINFOHEADER) + 4 * colorCount) {
    LocalUnlock(info);
    return fail("colour table beyond the info block");
  }
  dib.colors.resize(colorCount);
  if (colorCount) std::memcpy(dib.colors.data(), base + sizeof(BITMAPINFOHEADER), 4 * colorCount);
  LocalUnlock(info);

  // In 64 bits: in the 32-bit build a plug-in's header could make these wrap.
  const std::uint64_t stride = ((static_cast<std::uint64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
  const std::uint64_t bytes = stride * static_cast<std::uint64_t>(h.biHeight);
  if (bytes > dib.pixelBytes) return fail("pixel rows beyond the pixel block");
  dib.stride = static_cast<std::size_t>(stride);
  const std::uint64_t pixelCount = static_cast<std::uint64_t>(h.biWidth) * static_cast<std::uint64_t>(h.biHeight);
  if (pixelCount > SIZE_MAX / sizeof(Bgr)) return fail(kTooLargeToReadBack);
  const auto* p = static_cast<const std::uint8_t*>(LocalLock(bitsBlock));
  try {
    dib.bits.assign(p, p + bytes);
  } catch (const std::bad_alloc&) {
    LocalUnlock(bitsBlock);
    return fail(kTooLargeToReadBack);
  }
  LocalUnlock(bitsBlock);
  try {
    dib.pixels.assign(static_cast<std::size_t>(pixelCount), Bgr{});
  } catch (const std::bad_alloc&) {
    dib.bits.clear();
    return fail(kTooLargeToReadBack);
  }
  for (int y = 0; y < h.biHeight; ++y) {
    const std::uint8_t* row = dib.bits.data() + static_cast<std::size_t>(h.biHeight - 1 - y) * dib.stride;
    for (int x = 0; x < h.biWidth; ++x) {
      Bgr& out = dib.pixels[static_cast<std::size_t>(y) * h.biWidth + x];
      switch (h.biBitCount) {
        case 1: case 4: case 8: {
          const RGBQUAD c = dib.colors[dib.IndexAt(x, y)];
          out = {c.rgbBlue, c.rgbGreen, c.rgbRed};
          break;
        }
        case 16: {  // 5-5-5, as a host reads a BI_RGB 16-bit DIB
          const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
          auto expand = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
          out = {expand(v & 31), expand((v >> 5) & 31), expand((v >> 10) & 31)};
          break;
        }
        case 24: out = {row[3 * x], row[3 * x + 1], row[3 * x + 2]}; break;
        case 32: out = {row[4 * x], row[4 * x + 1], row[4 * x + 2]}; break;
        default: return fail("unexpected bit count");
      }
    }
  }
  return true;
}

namespace {

// FNV-1a, started on the geometry and the colour table.
class Fnv {
 public:
  explicit Fnv(const Dib& dib) {
    Mix(&dib.header.biWidth, 4);
    Mix(&dib.header.biHeight, 4);
    Mix(&dib.header.biBitCount, 2);
    Mix(dib.colors.data(), 4 * dib.colors.size());
  }
  void Mix(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) hash_ = (hash_ ^ p[i]) * 1099511628211ull;
  }
  std::uint64_t Value() const { return hash_; }

 private:
  std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace

std::uint64_t BlockDigest(const Dib& dib) {
  Fnv hash(dib);
  hash.Mix(dib.bits.data(), dib.bits.size());
  return hash.Value();
}

std::uint64_t DibDigest(const Dib& dib) {
  Fnv hash(dib);
  const std::size_t rowBits = static_cast<std::size_t>(dib.header.biWidth) * dib.header.biBitCount;
  const std::size_t rowBytes = (rowBits + 7) / 8;
  // Bits after the last pixel of a row are no part of the picture: the imaging component
  // may leave anything there.
  const auto lastByteMask = static_cast<std::uint8_t>(rowBits % 8 ? 0xFF00u >> (rowBits % 8) : 0xFFu);
  for (int y = 0; y < dib.header.biHeight && rowBytes; ++y) {
    const std::uint8_t* row = dib.bits.data() + static_cast<std::size_t>(y) * dib.stride;
    hash.Mix(row, rowBytes - 1);
    const std::uint8_t last = row[rowBytes - 1] & lastByteMask;
    hash.Mix(&last, 1);
  }
  return hash.Value();
}

std::string PaddingProblem(const Dib& dib) {
  const std::size_t bits = static_cast<std::size_t>(dib.Width()) * dib.header.biBitCount, used = (bits + 7) / 8;
  const auto unusedBits = static_cast<std::uint8_t>(bits % 8 != 0 ? 0xFFu >> (bits % 8) : 0);
  for (int y = 0; y < dib.Height(); ++y) {
    const std::uint8_t* row = dib.bits.data() + static_cast<std::size_t>(y) * dib.stride;
    if (used != 0 && (row[used - 1] & unusedBits) != 0) return "row " + std::to_string(y) + ": bits after the last pixel";
    for (std::size_t i = used; i < dib.stride; ++i)
      if (row[i] != 0) return "row " + std::to_string(y) + " byte " + std::to_string(i) + " is not zero";
  }
  return {};
}

bool WriteBmp(const std::wstring& path, HLOCAL info, HLOCAL bitsBlock) {
  Dib dib;
  if (!ReadDib(info, bitsBlock, dib)) return false;
  const DWORD headerBytes = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + 4 * dib.colors.size());
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + headerBytes;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(dib.bits.size());
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, &file, sizeof(file), &written, nullptr);
  ok = ok && WriteFile(h, &dib.header, sizeof(dib.header), &written, nullptr);
  ok = ok && (dib.colors.empty() || WriteFile(h, dib.colors.data(), static_cast<DWORD>(4 * dib.colors.size()), &written, nullptr));
  ok = ok && WriteFile(h, dib.bits.data(), static_cast<DWORD>(dib.bits.size()), &written, nullptr);
  CloseHandle(h);
  return ok;
}

}  // namespace hostkit
