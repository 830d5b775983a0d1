// A small TIFF writer for test fixtures: strips or tiles, uncompressed or LZW, any bit depth, palettes,
// extra samples, the orientation tag (with any stored type), resolution tags, several
// pages, either byte order, and raw tags for malformed files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

enum class TiffType : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5,
                                      kSByte = 6, kUndefined = 7, kSShort = 8, kSLong = 9, kSRational = 10,
                                      kFloat = 11, kDouble = 12 };

// A tag written as given, replacing any tag of the same number the writer would make.
struct RawTag {
  std::uint16_t tag;
  TiffType type;
  std::uint32_t count;
  std::vector<std::uint8_t> value;  // count * size of type bytes, in the file's byte order
};

struct TiffPage {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  std::uint16_t bitsPerSample = 8;
  std::uint16_t samplesPerPixel = 1;
  std::uint16_t photometric = 1;  // 0 WhiteIsZero, 1 BlackIsZero, 2 RGB, 3 palette
  std::uint16_t sampleFormat = 1;  // 1 unsigned integer, 3 IEEE float
  std::vector<std::uint16_t> extraSamples;  // 1 associated (premultiplied), 2 unassociated alpha
  std::vector<std::uint16_t> colorMap;      // 3 * 2^bitsPerSample: all reds, then greens, then blues
  std::optional<std::uint32_t> orientation;
  TiffType orientationType = TiffType::kShort;
  double xResolution = 72.0;
  double yResolution = 72.0;
  std::uint16_t resolutionUnit = 2;  // inch
  std::uint32_t rowsPerStrip = 0;    // 0: one strip
  // Tiles instead of strips when both are set (multiples of 16, as TIFF asks); tiles
  // at the right and bottom edges are padded with zeros.
  std::uint32_t tileWidth = 0;
  std::uint32_t tileLength = 0;
  std::uint16_t compression = 1;     // 1 none, 5 LZW
  // Rows top-down, each RowBytes() long, samples packed from the high bit, 16-bit
  // samples in the file's byte order.
  std::vector<std::uint8_t> pixels;
  std::vector<RawTag> rawTags;
  std::vector<std::uint16_t> omitTags;  // tags the writer leaves out

  std::size_t RowBytes() const {
    return (static_cast<std::size_t>(width) * bitsPerSample * samplesPerPixel + 7) / 8;
  }
};

std::vector<std::uint8_t> WriteTiff(const std::vector<TiffPage>& pages, bool bigEndian = false);
inline std::vector<std::uint8_t> WriteTiff(const TiffPage& page, bool bigEndian = false) {
  return WriteTiff(std::vector<TiffPage>{page}, bigEndian);
}

// TIFF LZW of one strip (9-bit codes throughout: the table is cleared before it would
// need wider codes, which every decoder reads the same way).
std::vector<std::uint8_t> LzwEncode(const std::uint8_t* data, std::size_t size);

// Where the writer put things, for mutation: the file offsets of the first page's strips.
std::vector<std::uint32_t> StripOffsetsOf(const std::vector<std::uint8_t>& file);

}  // namespace testsupport
