// TIFF writer: header, one IFD per page with its out-of-line values, then strip data.
#include "TiffWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace testsupport {
namespace {

std::uint32_t TypeSize(TiffType type) {
  switch (type) {
    case TiffType::kShort: case TiffType::kSShort: return 2;
    case TiffType::kLong: case TiffType::kSLong: case TiffType::kFloat: return 4;
    case TiffType::kRational: case TiffType::kSRational: case TiffType::kDouble: return 8;
    default: return 1;
  }
}

class Bytes {
 public:
  explicit Bytes(bool big) : big_(big) {}
  std::vector<std::uint8_t> data;
  void U16(std::uint16_t v) { Put(v, 2); }
  void U32(std::uint32_t v) { Put(v, 4); }
  void Put(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(v >> (8 * (big_ ? n - 1 - i : i))));
  }
  void PutAt(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(v >> (8 * (big_ ? 3 - i : i)));
  }
  std::vector<std::uint8_t> Encode(std::uint64_t v, int n) const {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * (big_ ? n - 1 - i : i))));
    return out;
  }
  bool big_;
};

std::vector<std::uint8_t> Shorts(const Bytes& b, const std::vector<std::uint16_t>& values) {
  std::vector<std::uint8_t> out;
  for (auto v : values) {
    auto e = b.Encode(v, 2);
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

std::vector<std::uint8_t> Longs(const Bytes& b, const std::vector<std::uint32_t>& values) {
  std::vector<std::uint8_t> out;
  for (auto v : values) {
    auto e = b.Encode(v, 4);
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

std::vector<std::uint8_t> Rational(const Bytes& b, double value) {
  std::uint32_t denominator = 1;
  while (denominator < 1000000 && std::fabs(value * denominator - std::round(value * denominator)) > 1e-9)
    denominator *= 10;
  auto out = b.Encode(static_cast<std::uint32_t>(std::llround(value * denominator)), 4);
  auto d = b.Encode(denominator, 4);
  out.insert(out.end(), d.begin(), d.end());
  return out;
}

}  // namespace

std::vector<std::uint8_t> WriteTiff(const std::vector<TiffPage>& pages, bool bigEndian) {
  Bytes out(bigEndian);
  out.data = bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42} : std::vector<std::uint8_t>{'I', 'I', 42, 0};
  std::size_t nextIfdLink = out.data.size();
  out.U32(0);

  for (const TiffPage& page : pages) {
    // Strip or tile data first, so the IFD can name its offsets.
    const std::size_t rowBytes = page.RowBytes();
    const std::uint32_t rowsPerStrip = page.rowsPerStrip ? page.rowsPerStrip : std::max<std::uint32_t>(page.height, 1);
    const bool tiled = page.tileWidth != 0 && page.tileLength != 0;
    std::vector<std::uint32_t> stripOffsets, stripCounts;
    const auto putChunk = [&](const std::uint8_t* data, std::size_t length) {
      if (out.data.size() % 2) out.data.push_back(0);
      stripOffsets.push_back(static_cast<std::uint32_t>(out.data.size()));
      if (page.compression == 5) {
        const auto packed = LzwEncode(data, length);
        stripCounts.push_back(static_cast<std::uint32_t>(packed.size()));
        out.data.insert(out.data.end(), packed.begin(), packed.end());
      } else {
        stripCounts.push_back(static_cast<std::uint32_t>(length));
        out.data.insert(out.data.end(), data, data + length);
      }
    };
    if (tiled) {
      const std::size_t bitsPerPixel = static_cast<std::size_t>(page.bitsPerSample) * page.samplesPerPixel;
      const std::size_t tileRowBytes = (page.tileWidth * bitsPerPixel + 7) / 8;
      std::vector<std::uint8_t> tile(tileRowBytes * page.tileLength);
      for (std::uint32_t ty = 0; ty < page.height; ty += page.tileLength)
        for (std::uint32_t tx = 0; tx < page.width; tx += page.tileWidth) {
          std::fill(tile.begin(), tile.end(), 0);
          // Whole bytes from the picture's rows: tile widths are multiples of 16 pixels,
          // so a tile's first pixel starts on a byte.
          const std::size_t from = tx * bitsPerPixel / 8;
          const std::size_t take = std::min(tileRowBytes, rowBytes - from);
          for (std::uint32_t r = 0; r < page.tileLength && ty + r < page.height; ++r) {
            const std::size_t at = (ty + r) * rowBytes + from;
            if (at >= page.pixels.size()) break;
            std::memcpy(tile.data() + r * tileRowBytes, page.pixels.data() + at, std::min(take, page.pixels.size() - at));
          }
          putChunk(tile.data(), tile.size());
        }
    }
    for (std::uint32_t row = 0; !tiled && (row < page.height || (page.height == 0 && stripOffsets.empty()));
         row += rowsPerStrip) {
      const std::uint32_t rows = std::min(rowsPerStrip, page.height - row);
      // Pixels shorter than the picture make short strips (for malformed fixtures).
      const std::size_t begin = std::min(row * rowBytes, page.pixels.size());
      const std::size_t length = std::min(rows * rowBytes, page.pixels.size() - begin);
      putChunk(page.pixels.data() + begin, length);
      if (page.height == 0) break;
    }

    std::map<std::uint16_t, RawTag> tags;
    auto add = [&](std::uint16_t tag, TiffType type, std::uint32_t count, std::vector<std::uint8_t> value) {
      tags[tag] = RawTag{tag, type, count, std::move(value)};
    };
    add(256, TiffType::kLong, 1, Longs(out, {page.width}));
    add(257, TiffType::kLong, 1, Longs(out, {page.height}));
    add(258, TiffType::kShort, page.samplesPerPixel,
        Shorts(out, std::vector<std::uint16_t>(page.samplesPerPixel, page.bitsPerSample)));
    add(259, TiffType::kShort, 1, Shorts(out, {page.compression}));
    add(262, TiffType::kShort, 1, Shorts(out, {page.photometric}));
    if (!tiled) add(273, TiffType::kLong, static_cast<std::uint32_t>(stripOffsets.size()), Longs(out, stripOffsets));
    if (page.orientation) {
      const std::uint32_t size = TypeSize(page.orientationType);
      add(274, page.orientationType, 1, out.Encode(*page.orientation, static_cast<int>(std::min<std::uint32_t>(size, 4))));
      tags[274].value.resize(size, 0);
    }
    add(277, TiffType::kShort, 1, Shorts(out, {page.samplesPerPixel}));
    if (tiled) {
      add(322, TiffType::kLong, 1, Longs(out, {page.tileWidth}));
      add(323, TiffType::kLong, 1, Longs(out, {page.tileLength}));
      add(324, TiffType::kLong, static_cast<std::uint32_t>(stripOffsets.size()), Longs(out, stripOffsets));
      add(325, TiffType::kLong, static_cast<std::uint32_t>(stripCounts.size()), Longs(out, stripCounts));
    } else {
      add(278, TiffType::kLong, 1, Longs(out, {rowsPerStrip}));
      add(279, TiffType::kLong, static_cast<std::uint32_t>(stripCounts.size()), Longs(out, stripCounts));
    }
    add(282, TiffType::kRational, 1, Rational(out, page.xResolution));
    add(283, TiffType::kRational, 1, Rational(out, page.yResolution));
    add(284, TiffType::kShort, 1, Shorts(out, {1}));
    add(296, TiffType::kShort, 1, Shorts(out, {page.resolutionUnit}));
    if (!page.colorMap.empty())
      add(320, TiffType::kShort, static_cast<std::uint32_t>(page.colorMap.size()), Shorts(out, page.colorMap));
    if (!page.extraSamples.empty())
      add(338, TiffType::kShort, static_cast<std::uint32_t>(page.extraSamples.size()), Shorts(out, page.extraSamples));
    if (page.sampleFormat != 1)
      add(339, TiffType::kShort, page.samplesPerPixel,
          Shorts(out, std::vector<std::uint16_t>(page.samplesPerPixel, page.sampleFormat)));
    for (const RawTag& raw : page.rawTags) tags[raw.tag] = raw;
    for (std::uint16_t omitted : page.omitTags) tags.erase(omitted);

    // Out-of-line values, then the IFD itself.
    std::map<std::uint16_t, std::uint32_t> valueOffsets;
    for (auto& [tag, entry] : tags) {
      if (entry.value.size() <= 4) continue;
      if (out.data.size() % 2) out.data.push_back(0);
      valueOffsets[tag] = static_cast<std::uint32_t>(out.data.size());
      out.data.insert(out.data.end(), entry.value.begin(), entry.value.end());
    }
    if (out.data.size() % 2) out.data.push_back(0);
    out.PutAt(nextIfdLink, static_cast<std::uint32_t>(out.data.size()));
    out.U16(static_cast<std::uint16_t>(tags.size()));
    for (auto& [tag, entry] : tags) {
      out.U16(tag);
      out.U16(static_cast<std::uint16_t>(entry.type));
      out.U32(entry.count);
      if (entry.value.size() <= 4) {
        std::vector<std::uint8_t> inline4 = entry.value;
        inline4.resize(4, 0);
        out.data.insert(out.data.end(), inline4.begin(), inline4.end());
      } else {
        out.U32(valueOffsets[tag]);
      }
    }
    nextIfdLink = out.data.size();
    out.U32(0);
  }
  return out.data;
}

std::vector<std::uint8_t> LzwEncode(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint32_t kClear = 256, kEnd = 257, kFirst = 258, kLimit = 500;
  std::vector<std::uint8_t> out;
  std::uint32_t buffer = 0;
  int bits = 0;
  auto emit = [&](std::uint32_t code) {
    buffer = (buffer << 9) | code;
    bits += 9;
    while (bits >= 8) {
      out.push_back(static_cast<std::uint8_t>(buffer >> (bits - 8)));
      bits -= 8;
    }
  };
  std::map<std::uint32_t, std::uint32_t> table;  // (prefix << 8 | byte) -> code
  std::uint32_t next = kFirst;
  emit(kClear);
  if (size > 0) {
    std::uint32_t prefix = data[0];
    for (std::size_t i = 1; i < size; ++i) {
      const std::uint32_t key = prefix << 8 | data[i];
      const auto it = table.find(key);
      if (it != table.end()) {
        prefix = it->second;
        continue;
      }
      emit(prefix);
      if (next < kLimit) {
        table[key] = next++;
      } else {
        emit(kClear);
        table.clear();
        next = kFirst;
      }
      prefix = data[i];
    }
    emit(prefix);
  }
  emit(kEnd);
  if (bits > 0) out.push_back(static_cast<std::uint8_t>(buffer << (8 - bits)));
  return out;
}

std::vector<std::uint32_t> StripOffsetsOf(const std::vector<std::uint8_t>& file) {
  if (file.size() < 8) return {};
  const bool big = file[0] == 'M';
  auto u16 = [&](std::size_t at) -> std::uint32_t {
    return big ? (file[at] << 8 | file[at + 1]) : (file[at] | file[at + 1] << 8);
  };
  auto u32 = [&](std::size_t at) -> std::uint32_t {
    return big ? (u16(at) << 16 | u16(at + 2)) : (u16(at) | u16(at + 2) << 16);
  };
  const std::uint32_t ifd = u32(4);
  if (ifd + 2 > file.size()) return {};
  const std::uint32_t count = u16(ifd);
  for (std::uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= file.size(); ++i) {
    const std::size_t e = ifd + 2 + 12 * i;
    if (u16(e) != 273) continue;
    const std::uint32_t n = u32(e + 4);
    if (n == 1) return {u32(e + 8)};
    std::vector<std::uint32_t> offsets;
    const std::uint32_t at = u32(e + 8);
    for (std::uint32_t k = 0; k < n && at + 4 * (k + 1) <= file.size(); ++k) offsets.push_back(u32(at + 4 * k));
    return offsets;
  }
  return {};
}

}  // namespace testsupport
