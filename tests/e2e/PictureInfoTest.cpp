// GetPictureInfo/GetPictureInfoW end to end: the stored size and depth, densities from
// the resolution tags, the record in each build's published layout with a null hInfo,
// and left alone on failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <map>

#include "Plugin.h"
#include "TestEnvironment.h"
#include "TiffFixtures.h"
#include "WicProbe.h"

namespace {

using hostkit::Plugin;
using testsupport::TempFile;

class PictureInfo : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()); }
  susie::PictureInfo Query(const std::vector<std::uint8_t>& bytes, int* result) {
    susie::PictureInfo info{};
    info.hInfo = reinterpret_cast<HLOCAL>(static_cast<ULONG_PTR>(0xC0FFEE));
    *result = plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info);
    return info;
  }
  testsupport::CleanSettings settings;
  Plugin plugin;
};

// Dots per metre as the host must see them: truncated, low 16 bits, 0 when undefined.
WORD ExpectedDensity(double dpi) {
  const double perMetre = dpi / 0.0254;
  if (!(perMetre >= 0) || !(perMetre < 9.2e18)) return 0;
  return static_cast<WORD>(static_cast<unsigned long long>(perMetre) % 65536);
}

TEST_F(PictureInfo, ReportsTheStoredSizeAndDepthOfEveryKind) {
  const std::map<std::string, int> storedDepth = {
      {"palette1", 1}, {"palette2", 2}, {"palette4", 4}, {"palette8", 8}, {"palette8-short-colormap", 8},
      {"grey1", 1}, {"grey2", 2}, {"grey4", 4}, {"grey8", 8}, {"grey8-white-is-zero", 8}, {"grey16", 16},
      {"rgb8", 24}, {"rgb16", 48}, {"rgba8", 32}, {"rgba8-premultiplied", 32}, {"grey8-alpha", 32},
      {"rgba16", 64}, {"rgb555", 16}};
  for (testsupport::TiffFixture f : testsupport::AllTiffFixtures(11, 7)) {
    SCOPED_TRACE(f.name);
    f.page.orientation = 6;  // not applied: the stored size is reported
    const auto bytes = testsupport::WriteTiff(f.page);
    int r = -100;
    const susie::PictureInfo info = Query(bytes, &r);
    if (!testsupport::ProbeFrame(bytes)) {
      EXPECT_TRUE(f.componentMayRefuse);
      EXPECT_NE(r, 0) << "the imaging component cannot open it";
      continue;
    }
    ASSERT_EQ(r, 0);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 11);
    EXPECT_EQ(info.height, 7);
    EXPECT_EQ(info.colorDepth, storedDepth.at(f.name));
    EXPECT_EQ(info.hInfo, nullptr) << "a host frees a non-null hInfo";
  }
}

TEST_F(PictureInfo, DensitiesAreDotsPerMetreTruncatedToSixteenBits) {
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("grey8", 4, 4);
  struct Case {
    double dpi;
    WORD expected;
  };
  for (const Case c : {Case{72, 2834}, {96, 3779}, {300, 11811}, {2400, 28952}, {1, 39}}) {
    f.page.xResolution = c.dpi;
    f.page.yResolution = c.dpi;
    int r = -100;
    const susie::PictureInfo info = Query(testsupport::WriteTiff(f.page), &r);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(info.x_density, c.expected) << c.dpi;
    EXPECT_EQ(info.y_density, c.expected) << c.dpi;
  }
  // Different horizontal and vertical resolutions, and centimetres as the unit.
  f.page.xResolution = 300;
  f.page.yResolution = 150;
  int r = -100;
  susie::PictureInfo info = Query(testsupport::WriteTiff(f.page), &r);
  EXPECT_EQ(info.x_density, 11811);
  EXPECT_EQ(info.y_density, 5905);
  f.page.resolutionUnit = 3;
  f.page.xResolution = 100;  // per centimetre
  f.page.yResolution = 100;
  const auto cm = testsupport::WriteTiff(f.page);
  info = Query(cm, &r);
  const auto facts = testsupport::ProbeFrame(cm);
  ASSERT_TRUE(facts);
  EXPECT_EQ(info.x_density, ExpectedDensity(facts->dpiX)) << "as the component reports " << facts->dpiX << " dpi";
}

TEST_F(PictureInfo, AbsurdResolutionTagsGiveDefinedDensities) {
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("grey8", 4, 4);
  using testsupport::RawTag;
  using testsupport::TiffType;
  auto rational = [](std::uint32_t n, std::uint32_t d) {
    std::vector<std::uint8_t> v(8);
    std::memcpy(v.data(), &n, 4);
    std::memcpy(v.data() + 4, &d, 4);
    return v;
  };
  const std::vector<std::vector<RawTag>> cases = {
      {{282, TiffType::kRational, 1, rational(1, 0)}, {283, TiffType::kRational, 1, rational(0, 0)}},  // x/0, 0/0
      {{282, TiffType::kRational, 1, rational(0xFFFFFFFF, 1)}, {283, TiffType::kRational, 1, rational(0xFFFFFFFF, 1)}},
      {{282, TiffType::kSRational, 1, rational(static_cast<std::uint32_t>(-300), 1)},
       {283, TiffType::kSRational, 1, rational(static_cast<std::uint32_t>(-300), 1)}},
      {{282, TiffType::kDouble, 1, std::vector<std::uint8_t>(8, 0xFF)}, {283, TiffType::kDouble, 1, std::vector<std::uint8_t>(8, 0xFF)}},  // NaN
      {{282, TiffType::kDouble, 1, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}}, {283, TiffType::kDouble, 1, {0, 0, 0, 0, 0, 0, 0xF0, 0xFF}}},  // +inf, -inf
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    f.page.rawTags = cases[i];
    const auto bytes = testsupport::WriteTiff(f.page);
    int r = -100;
    const susie::PictureInfo info = Query(bytes, &r);
    const auto facts = testsupport::ProbeFrame(bytes);
    if (!facts) {
      EXPECT_NE(r, 0);
      continue;
    }
    ASSERT_EQ(r, 0) << "case " << i;
    EXPECT_EQ(info.x_density, ExpectedDensity(facts->dpiX)) << "case " << i << ": " << facts->dpiX << " dpi";
    EXPECT_EQ(info.y_density, ExpectedDensity(facts->dpiY)) << "case " << i << ": " << facts->dpiY << " dpi";
  }
}

TEST_F(PictureInfo, FileAndMemoryInputBothBuildsAndThePagesOfAMultiPageFile) {
  testsupport::TiffFixture a = testsupport::TiffFixtureNamed("rgb8", 13, 3);
  testsupport::TiffFixture b = testsupport::TiffFixtureNamed("palette4", 5, 50);
  const auto bytes = testsupport::WriteTiff(std::vector<testsupport::TiffPage>{a.page, b.page});
  const TempFile file(bytes);
  susie::PictureInfo wide{}, ansi{}, memory{};
  ASSERT_EQ(plugin.GetPictureInfoW(file.Path().c_str(), 0, 0, &wide), 0);
  ASSERT_EQ(plugin.GetPictureInfo(file.AnsiPath().c_str(), 0, 0, &ansi), 0);
  ASSERT_EQ(plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &memory), 0);
  for (const susie::PictureInfo& info : {wide, ansi, memory}) {
    EXPECT_EQ(info.width, 13) << "the first page";
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.colorDepth, 24);
  }
}

// The record as a host of each build lays it out, filled with the host's bytes first: the
// fields at their published offsets, hInfo null, and every other byte (the 64-bit
// alignment, whatever follows the record) as the host left it, through all four calls.
TEST_F(PictureInfo, EveryCallWritesThePublishedLayoutOfItsBuildWithANullHInfo) {
  constexpr std::size_t kRecordBytes = sizeof(void*) == 8 ? 32 : 26;
  constexpr std::size_t kHInfoAt = sizeof(void*) == 8 ? 24 : 22;
  static_assert(sizeof(susie::PictureInfo) == kRecordBytes && offsetof(susie::PictureInfo, hInfo) == kHInfoAt);
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 300, 2);
  f.page.xResolution = 72.0;
  f.page.yResolution = 96.0;
  const auto bytes = testsupport::WriteTiff(f.page);
  const TempFile file(bytes);
  const auto memory = reinterpret_cast<LPCSTR>(bytes.data());
  const std::pair<const char*, std::function<int(susie::PictureInfo*)>> calls[] = {
      {"ANSI file", [&](susie::PictureInfo* i) { return plugin.GetPictureInfo(file.AnsiPath().c_str(), 0, 0, i); }},
      {"wide file", [&](susie::PictureInfo* i) { return plugin.GetPictureInfoW(file.Path().c_str(), 0, 0, i); }},
      {"ANSI memory", [&](susie::PictureInfo* i) { return plugin.GetPictureInfo(memory, bytes.size(), 1, i); }},
      {"wide memory",
       [&](susie::PictureInfo* i) { return plugin.GetPictureInfoW(reinterpret_cast<LPCWSTR>(memory), bytes.size(), 1, i); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    alignas(8) BYTE host[48];
    std::memset(host, 0x7F, sizeof host);
    ASSERT_EQ(call(reinterpret_cast<susie::PictureInfo*>(host)), 0);
    const auto at = [&](std::size_t offset, std::size_t size) {
      std::uint64_t v = 0;
      std::memcpy(&v, host + offset, size);
      return v;
    };
    EXPECT_EQ(at(0, 4), 0u);
    EXPECT_EQ(at(4, 4), 0u);
    EXPECT_EQ(at(8, 4), 300u);
    EXPECT_EQ(at(12, 4), 2u);
    EXPECT_EQ(at(16, 2), 2834u);
    EXPECT_EQ(at(18, 2), 3779u);
    EXPECT_EQ(at(20, 2), 32u);
    EXPECT_EQ(at(kHInfoAt, sizeof(void*)), 0u) << "hInfo";
    for (std::size_t i = 22; i < sizeof host; ++i) {
      if (i >= kHInfoAt && i < kRecordBytes) continue;
      EXPECT_EQ(host[i], 0x7F) << "byte " << i << " is the host's";
    }
  }
}

TEST_F(PictureInfo, FailuresLeaveTheWholeRecordUntouched) {
  const auto png = testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png");
  const std::vector<std::uint8_t> truncated = [] {
    auto t = testsupport::WriteTiff(testsupport::TiffFixtureNamed("rgb8", 4, 4).page);
    t.resize(12);
    return t;
  }();
  for (const auto* bytes : {&png, &truncated}) {
    susie::PictureInfo info;
    std::memset(&info, 0x3C, sizeof(info));
    susie::PictureInfo before = info;
    const int r = plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes->data()), bytes->size(), 1, &info);
    EXPECT_NE(r, 0);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0);
  }
  susie::PictureInfo info{};
  EXPECT_EQ(plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(png.data()), png.size(), 1, &info), 2);
}

// Found by the stress program: a stored width of 2^31 or more came back as a negative
// width with success. Such a size is refused as GetPicture refuses it, record untouched.
TEST_F(PictureInfo, SizesBeyondTheSignedFieldsAreRefusedAsGetPictureRefusesThem) {
  for (const std::uint32_t wide : {0x80000000u, 0xFFFFFFFFu}) {
    auto page = testsupport::TiffFixtureNamed("grey8", 4, 1).page;
    page.rawTags.push_back({256, testsupport::TiffType::kLong, 1,
                            {static_cast<std::uint8_t>(wide), static_cast<std::uint8_t>(wide >> 8),
                             static_cast<std::uint8_t>(wide >> 16), static_cast<std::uint8_t>(wide >> 24)}});
    const auto bytes = testsupport::WriteTiff(page);
    susie::PictureInfo info;
    std::memset(&info, 0x3C, sizeof(info));
    const susie::PictureInfo before = info;
    const int r = plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info);
    HLOCAL header = nullptr, bits = nullptr;
    const int picture = plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &header, &bits, nullptr, 0);
    if (picture == 2 || picture == 8) {
      // A component that refuses the file itself gives the same answer to both calls.
      EXPECT_EQ(r, picture) << wide;
      continue;
    }
    EXPECT_EQ(picture, 4) << wide;
    EXPECT_EQ(r, 4) << wide;
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0) << wide;
  }
}

}  // namespace
