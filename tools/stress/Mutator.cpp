// The attacks. Structural ones write a fixture page again with damaged tags (the writer
// replaces its own tag by a raw one of the same number); byte-wise ones edit any file.
#include "Mutator.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Random.h"
#include "TestEnvironment.h"
#include "TiffEditor.h"
#include "TiffFixtures.h"
#include "StressPaths.h"

namespace stress {
namespace {

using testsupport::RawTag;
using testsupport::TiffPage;
using testsupport::TiffType;

enum Attack : int {
  kTruncateAtStrip,
  kDimensions,
  kOrientation,
  kShortPalette,
  kStripRows,
  kFieldValue,
  kNextDirectory,
  kEntryCount,
  kTagDamage,
  kBitFlips,
  kSplat,
  kTruncate,
  kRandomBytes,
  kAttackCount
};

struct Size {
  std::uint32_t width, height;
};

// Zero, enormous, and sizes whose products wrap in 32 or 64 bits.
const std::vector<Size> kSizes = {
    {0, 9},          {13, 0},         {0, 0},          {70000, 70000},    {1, 0x80000000u}, {0x80000000u, 1},
    {65536, 65537},  {46341, 46341},  {0xFFFFFFFFu, 1}, {1, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0xFFFFFFFFu},
    {16384, 16384},  {0x40000000u, 4}, {14, 9},        {13, 10}};

const std::vector<std::uint32_t> kOrientationValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 255, 256, 0xFFFF, 0x10000, 0x80000006u, 0xFFFFFFFFu};

struct Field {
  std::uint16_t tag;
  std::vector<std::uint32_t> values;
};

// Values out of range, or in range but inconsistent with the pixels stored.
const std::vector<Field> kFields = {
    {258, {0, 1, 3, 7, 9, 15, 17, 24, 31, 32, 33, 64, 65535}},           // BitsPerSample
    {277, {0, 2, 5, 200, 65535}},                                        // SamplesPerPixel
    {262, {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 32844, 32845, 65535}},         // Photometric
    {259, {0, 2, 3, 4, 5, 6, 7, 8, 32773, 32946, 34712, 65535}},         // Compression
    {339, {0, 2, 3, 4, 5, 6, 65535}},                                    // SampleFormat
    {284, {0, 2, 3}},                                                    // PlanarConfiguration
    {338, {0, 1, 2, 3, 65535}},                                          // ExtraSamples
    {317, {0, 2, 3, 4}},                                                 // Predictor
    {266, {0, 2, 3}},                                                    // FillOrder
    {322, {0, 1, 16, 0xFFFFFFFFu}},                                      // TileWidth on a stripped picture
    {296, {0, 1, 4, 65535}},                                             // ResolutionUnit
};

// Interesting numbers for counts and offsets.
std::uint32_t Interesting(stress::Random& r, std::uint32_t near, std::size_t fileSize) {
  switch (r.Below(9)) {
    case 0: return 0;
    case 1: return 1;
    case 2: return near + 1;
    case 3: return near - 1;
    case 4: return 0x7FFFFFFFu;
    case 5: return 0xFFFFFFFFu;
    case 6: return static_cast<std::uint32_t>(fileSize);
    case 7: return static_cast<std::uint32_t>(fileSize - 1);
    default: return static_cast<std::uint32_t>(r.Next());
  }
}

std::vector<std::uint8_t> Encode(std::uint64_t v, int n, bool big) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * (big ? n - 1 - i : i))));
  return out;
}

// One value of the given type holding number v (rationals as v/1, reals as v).
RawTag TagOfType(std::uint16_t tag, TiffType type, std::uint32_t v, bool big) {
  RawTag raw{tag, type, 1, {}};
  switch (type) {
    case TiffType::kShort: case TiffType::kSShort: raw.value = Encode(v, 2, big); break;
    case TiffType::kLong: case TiffType::kSLong: raw.value = Encode(v, 4, big); break;
    case TiffType::kRational: case TiffType::kSRational: {
      raw.value = Encode(v, 4, big);
      auto d = Encode(1, 4, big);
      raw.value.insert(raw.value.end(), d.begin(), d.end());
      break;
    }
    case TiffType::kFloat: {
      float f = static_cast<float>(v);
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      raw.value = Encode(bits, 4, big);
      break;
    }
    case TiffType::kDouble: {
      double d = static_cast<double>(v);
      std::uint64_t bits;
      std::memcpy(&bits, &d, 8);
      raw.value = Encode(bits, 8, big);
      break;
    }
    case TiffType::kAscii: raw.value = {static_cast<std::uint8_t>('0' + v % 10), 0}; raw.count = 2; break;
    default: raw.value = {static_cast<std::uint8_t>(v)}; break;  // BYTE, SBYTE, UNDEFINED
  }
  return raw;
}

bool IsBigEndian(const std::vector<std::uint8_t>& file) { return file.size() > 1 && file[0] == 'M'; }

std::vector<std::uint8_t> Rewrite(TiffPage page, bool big, std::vector<RawTag> raws) {
  for (auto& raw : raws) page.rawTags.push_back(std::move(raw));
  return testsupport::WriteTiff(page, big);
}

// File offsets where strips or tiles begin and end, from the directory as stored.
std::vector<std::uint32_t> SegmentBoundaries(std::vector<std::uint8_t> file) {
  TiffEditor editor(file);
  std::vector<std::uint32_t> out;
  const auto values = [&](std::uint16_t tag) {
    std::vector<std::uint32_t> v;
    const auto i = editor.Find(tag);
    if (!i) return v;
    const TiffEntry e = editor.Entry(*i);
    const int size = e.type == 3 ? 2 : 4;
    const std::uint32_t n = std::min<std::uint32_t>(e.count, 4096);
    if (static_cast<std::uint64_t>(n) * size <= 4) {
      for (std::uint32_t k = 0; k < n; ++k) v.push_back(editor.Read(editor.DirectoryOffset() + 2 + 12 * *i + 8 + k * size, size));
    } else {
      for (std::uint32_t k = 0; k < n; ++k) v.push_back(editor.Read(e.value + std::size_t{k} * size, size));
    }
    return v;
  };
  for (auto [offsetsTag, countsTag] : {std::pair<std::uint16_t, std::uint16_t>{273, 279}, {324, 325}}) {
    const auto offsets = values(offsetsTag);
    const auto counts = values(countsTag);
    for (std::size_t k = 0; k < offsets.size(); ++k) {
      out.push_back(offsets[k]);
      if (k < counts.size()) out.push_back(offsets[k] + counts[k]);
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

void FlipBits(stress::Random& r, std::vector<std::uint8_t>& file) {
  if (file.empty()) return;
  const std::uint64_t flips = 1 + r.Below(8);
  for (std::uint64_t i = 0; i < flips; ++i) file[r.Below(file.size())] ^= static_cast<std::uint8_t>(1u << r.Below(8));
}

void Splat(stress::Random& r, std::vector<std::uint8_t>& file) {
  if (file.empty()) return;
  const std::size_t at = r.Below(file.size());
  const std::size_t n = std::min<std::size_t>(file.size() - at, 1 + r.Below(16));
  const std::uint8_t fill = r.OneIn(2) ? r.Byte() : (r.OneIn(2) ? 0xFF : 0x00);
  for (std::size_t i = 0; i < n; ++i) file[at + i] = r.OneIn(3) ? r.Byte() : fill;
}

void DamageTag(stress::Random& r, std::vector<std::uint8_t>& file) {
  TiffEditor editor(file);
  if (editor.EntryCount() == 0) return FlipBits(r, file);
  const std::size_t i = r.Below(editor.EntryCount());
  const TiffEntry e = editor.Entry(i);
  switch (r.Below(4)) {
    case 0: editor.SetType(i, static_cast<std::uint16_t>(r.OneIn(2) ? r.Below(20) : r.Next())); break;
    case 1: editor.SetCount(i, Interesting(r, e.count, file.size())); break;
    case 2: editor.SetValue(i, Interesting(r, e.value, file.size())); break;
    default:  // a duplicate of its neighbour's tag number: entries out of order
      if (i + 1 < editor.EntryCount()) editor.Write(editor.DirectoryOffset() + 2 + 12 * (i + 1), 2, e.tag);
      break;
  }
}

}  // namespace

std::vector<SeedFile> MakeSeedFiles(const std::wstring& dataFolder) {
  std::vector<SeedFile> seeds;
  for (int variant = 0; variant < 2; ++variant) {
    const bool big = variant == 1;
    for (auto& fixture : testsupport::AllTiffFixtures(13, 9)) {
      TiffPage page = fixture.page;
      page.rowsPerStrip = big ? 4 : 2;
      if (big) page.compression = 5;
      // The writer stores 16-bit samples in the file's byte order only when asked.
      if (big && page.bitsPerSample == 16) continue;
      seeds.push_back({fixture.name + (big ? "-be-lzw" : "-le"), testsupport::WriteTiff(page, big), page});
    }
  }
  // Sorted: the order a folder lists its files in is the file system's, and every case
  // depends on the seeds' order.
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dataFolder + L"*.tif").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end());
  for (const auto& file : names) {
    auto bytes = testsupport::ReadFileBytes(dataFolder + file);
    if (!bytes.empty()) seeds.push_back({AsciiOf(file), std::move(bytes), std::nullopt});
  }
  return seeds;
}

Mutator::Mutator(std::vector<SeedFile> seeds) : seeds_(std::move(seeds)) {
  const auto named = [&](const std::string& name) -> std::size_t {
    for (std::size_t i = 0; i < seeds_.size(); ++i)
      if (seeds_[i].name == name) return i;
    return seeds_.size();
  };
  const auto plan = [&](std::size_t seed, int attack, std::uint64_t parameter) {
    if (seed < seeds_.size()) systematic_.push_back({seed, attack, parameter});
  };
  for (std::size_t s = 0; s < seeds_.size(); ++s) {
    const auto boundaries = SegmentBoundaries(seeds_[s].bytes);
    for (std::size_t b = 0; b < boundaries.size(); ++b)
      for (std::uint64_t delta = 0; delta < 3; ++delta) plan(s, kTruncateAtStrip, b * 4 + delta);
    for (std::uint64_t v = 0; v < 4; ++v) plan(s, kEntryCount, v);
  }
  for (const char* kind : {"grey8-le", "rgb8-le", "rgba8-le", "palette8-le", "rgb16-le", "palette1-be-lzw", "grey1-le"})
    for (std::uint64_t i = 0; i < kSizes.size(); ++i) plan(named(kind), kDimensions, i);
  for (std::uint64_t type = 0; type <= 13; ++type)
    for (std::uint64_t v = 0; v < kOrientationValues.size(); ++v) plan(named("rgba8-le"), kOrientation, type * 64 + v);
  for (std::uint64_t shape = 14; shape < 18; ++shape) plan(named("rgb8-be-lzw"), kOrientation, shape * 64 + 6);
  for (const char* kind : {"palette1-le", "palette2-le", "palette4-le", "palette8-le", "palette4-be-lzw", "palette8-be-lzw"})
    for (std::uint64_t v = 0; v < 6; ++v) plan(named(kind), kShortPalette, v);
  for (const char* kind : {"grey8-le", "rgb8-le", "rgba8-le", "palette4-le", "rgb8-be-lzw", "grey16-le"})
    for (std::uint64_t v = 0; v < 8; ++v) plan(named(kind), kStripRows, v);
  for (const char* kind : {"rgb8-le", "palette8-le", "grey16-le", "rgba8-be-lzw"})
    for (std::uint64_t f = 0; f < kFields.size(); ++f)
      for (std::uint64_t v = 0; v < kFields[f].values.size(); ++v) plan(named(kind), kFieldValue, f * 64 + v);
  for (const char* kind : {"rgb8-le", "palette8-be-lzw", "grey16-le"})
    for (std::uint64_t v = 0; v < 5; ++v) plan(named(kind), kNextDirectory, v);
  for (std::uint64_t v = 0; v < 24; ++v) systematic_.push_back({0, kRandomBytes, v});
}

HostileInput Mutator::Make(std::uint64_t seed, std::uint64_t index) const {
  if (index < systematic_.size()) return Systematic(systematic_[index]);
  return Random(seed, index);
}

HostileInput Mutator::Systematic(const Planned& plan) const {
  const SeedFile& base = seeds_[plan.seed];
  const bool big = IsBigEndian(base.bytes);
  HostileInput out{base.name + ": ", base.bytes};
  const auto note = [&](const std::string& s) { out.what += s; };
  const std::uint64_t p = plan.parameter;
  switch (plan.attack) {
    case kTruncateAtStrip: {
      const auto boundaries = SegmentBoundaries(base.bytes);
      const std::uint64_t at = boundaries[p / 4] + (p % 4) - 1;  // one before, at, one after
      if (at < out.bytes.size()) out.bytes.resize(at);
      note("cut at " + std::to_string(at) + " (segment boundary " + std::to_string(p / 4) + ")");
      break;
    }
    case kDimensions: {
      const Size s = kSizes[p];
      out.bytes = Rewrite(*base.page, big, {TagOfType(256, TiffType::kLong, s.width, big), TagOfType(257, TiffType::kLong, s.height, big)});
      note("size " + std::to_string(s.width) + " x " + std::to_string(s.height));
      break;
    }
    case kOrientation: {
      const std::uint64_t shape = p / 64;
      const std::uint32_t v = kOrientationValues[p % 64];
      RawTag raw;
      if (shape <= 13) {
        // Type 0 and 13 are no TIFF types at all.
        const auto type = static_cast<TiffType>(shape);
        raw = TagOfType(274, shape >= 1 && shape <= 12 ? type : TiffType::kShort, v, big);
        raw.type = type;
        note("orientation " + std::to_string(v) + " as type " + std::to_string(shape));
      } else {
        // Counts that do not match the value: none, two, many, and an offset beyond the file.
        raw = TagOfType(274, TiffType::kShort, v, big);
        raw.count = shape == 14 ? 0 : shape == 15 ? 2 : shape == 16 ? 40000 : 3;
        if (shape == 15) raw.value.resize(4, 0);
        if (shape == 16) raw.value.clear();
        if (shape == 17) raw.value.resize(6, 0xFF);
        note("orientation with count " + std::to_string(raw.count));
      }
      out.bytes = Rewrite(*base.page, big, {raw});
      break;
    }
    case kShortPalette: {
      TiffPage page = *base.page;
      const std::size_t n = page.colorMap.size() / 3;
      const std::size_t lengths[] = {0, 3, 3 * (n / 2), 3 * n - 1, 3 * n - 3, 3 * n + 3};
      page.colorMap.resize(lengths[p], 0x4000);
      out.bytes = testsupport::WriteTiff(page, big);
      note("colour map of " + std::to_string(lengths[p]) + " values for " + std::to_string(n) + " colours");
      break;
    }
    case kStripRows: {
      const std::uint32_t h = base.page->height;
      const std::uint32_t values[] = {0, 1, h - 1, h + 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 3, 1000};
      // The strips stay as written; only the declared rows per strip disagree with them.
      out.bytes = Rewrite(*base.page, big, {TagOfType(278, TiffType::kLong, values[p], big)});
      note("rows per strip " + std::to_string(values[p]) + " for strips of " + std::to_string(base.page->rowsPerStrip));
      break;
    }
    case kFieldValue: {
      const Field& f = kFields[p / 64];
      const std::uint32_t v = f.values[p % 64];
      out.bytes = Rewrite(*base.page, big, {TagOfType(f.tag, v > 0xFFFF ? TiffType::kLong : TiffType::kShort, v, big)});
      note("tag " + std::to_string(f.tag) + " = " + std::to_string(v));
      break;
    }
    case kNextDirectory: {
      TiffEditor editor(out.bytes);
      const std::uint32_t targets[] = {editor.DirectoryOffset(), 8, 0xFFFFFFFFu, static_cast<std::uint32_t>(out.bytes.size()), 1};
      editor.SetNextDirectory(targets[p]);
      note("next directory at " + std::to_string(targets[p]) + (p == 0 ? " (itself)" : ""));
      break;
    }
    case kEntryCount: {
      TiffEditor editor(out.bytes);
      const std::uint16_t counts[] = {0, 1, 0xFFFF, static_cast<std::uint16_t>(editor.EntryCount() + 1)};
      editor.SetEntryCountField(counts[p]);
      note("directory entry count " + std::to_string(counts[p]));
      break;
    }
    case kRandomBytes: {
      // Empty input, short runs around the header sizes, and a TIFF header before noise.
      const std::size_t lengths[] = {0, 1, 2, 3, 4, 7, 8, 9, 15, 16, 2047, 2048, 2049, 65536};
      stress::Random r(p);
      const std::size_t n = lengths[p % 14];
      out.bytes.resize(n);
      for (auto& b : out.bytes) b = r.Byte();
      if (p >= 14) {
        static const std::uint8_t headers[][4] = {{'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
        for (std::size_t i = 0; i < 4 && i < n; ++i) out.bytes[i] = headers[p % 4][i];
      }
      out.what = "random bytes: " + std::to_string(n) + (p >= 14 ? " after a TIFF header" : "");
      break;
    }
  }
  return out;
}

HostileInput Mutator::Random(std::uint64_t seed, std::uint64_t index) const {
  stress::Random r = CaseRandom(seed, index);
  // Half the random cases start from a systematic one, then take further damage.
  HostileInput out;
  if (r.OneIn(2) && !systematic_.empty()) {
    out = Systematic(systematic_[r.Below(systematic_.size())]);
  } else {
    const SeedFile& base = seeds_[r.Below(seeds_.size())];
    out = {base.name + ": ", base.bytes};
  }
  const std::uint64_t steps = 1 + r.Below(3);
  for (std::uint64_t i = 0; i < steps; ++i) {
    switch (kTagDamage + static_cast<int>(r.Below(kRandomBytes - kTagDamage))) {
      case kTagDamage: DamageTag(r, out.bytes); out.what += "; tag damage"; break;
      case kBitFlips: FlipBits(r, out.bytes); out.what += "; bit flips"; break;
      case kSplat: Splat(r, out.bytes); out.what += "; overwritten bytes"; break;
      default:
        if (!out.bytes.empty()) out.bytes.resize(r.Below(out.bytes.size()));
        out.what += "; cut at " + std::to_string(out.bytes.size());
        break;
    }
  }
  return out;
}

}  // namespace stress
