// GetPicture/GetPictureW end to end on TIFF files of every kind, in all eight
// orientations, compared pixel by pixel with what each fixture defines; the settings'
// effect per picture; the progress protocol; multi-page files; both builds agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "E2eSupport.h"
#include "ScratchUserKey.h"
#include "TestEnvironment.h"
#include "TiffFixtures.h"
#include "WicProbe.h"

namespace {

using e2e::DecodeFile;
using e2e::DecodeMemory;
using hostkit::Plugin;
using testsupport::CleanSettings;
using testsupport::TempFile;
using testsupport::TiffFixture;

bool Turns(int orientation) { return orientation == 2 || orientation == 3 || orientation >= 5; }

class DecodeTiff : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()); }
  CleanSettings settings;
  Plugin plugin;
};

std::string DigestFileFor(const std::wstring& folder) {
  std::string path(folder.begin(), folder.end());
  return path + "picture-digests.txt";
}

// Leaves the process heap's free blocks of picture sizes full of 0xA5, so that bytes the
// plug-in does not write show up in the blocks it hands over.
void FillFreedHeapBlocks() {
  std::vector<HLOCAL> blocks;
  for (SIZE_T size = 8; size <= 512; size += 4)
    if (HLOCAL b = LocalAlloc(LMEM_FIXED, size)) {
      std::memset(b, 0xA5, size);
      blocks.push_back(b);
    }
  for (HLOCAL b : blocks) LocalFree(b);
}

// Decodes every kind in all eight orientations through one kind of input, checks each
// picture against its fixture and returns "name orientation digest" lines (the digest
// of the whole block, padding included).
std::string CheckEveryKind(const Plugin& plugin, bool fromFile) {
  std::ostringstream digests;
  for (TiffFixture f : testsupport::AllTiffFixtures(7, 5)) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(f.name + ", orientation " + std::to_string(orientation));
      f.page.orientation = orientation;
      const auto bytes = testsupport::WriteTiff(f.page);
      FillFreedHeapBlocks();
      const e2e::Delivered d = fromFile ? DecodeFile(plugin, TempFile(bytes).Path()) : DecodeMemory(plugin, bytes);
      const auto facts = testsupport::ProbeFrame(bytes);
      if (!facts) {
        EXPECT_TRUE(f.componentMayRefuse) << "the imaging component must read this kind";
        EXPECT_TRUE(d.result == 2 || d.result == 8) << d.result;
        if (orientation == 1 && !fromFile)
          std::printf("[ component ] %s: the imaging component cannot open it (result %d)\n", f.name.c_str(), d.result);
        continue;
      }
      EXPECT_EQ(d.result, 0);
      EXPECT_TRUE(d.wellFormed) << d.why;
      if (d.result != 0 || !d.wellFormed) continue;
      const bool turned = Turns(orientation);
      const int depth = turned ? f.turnedDepth : f.depth;
      if (d.dib.header.biBitCount != depth && testsupport::RunningOnWine()) {
        // Wine's component lacks some conversions: the plug-in's 32-bit fallback, delivered
        // in 24 bits (the unit tests check that the fallback is taken only then).
        EXPECT_EQ(d.dib.header.biBitCount, 24);
        if ((orientation == 1 || orientation == 6) && !fromFile)
          std::printf("[ component ] %s: no conversion to the %s target; delivered through 32bppBGR\n", f.name.c_str(),
                      turned ? "turned" : "unturned");
      } else {
        EXPECT_EQ(d.dib.header.biBitCount, depth);
      }
      EXPECT_EQ(testsupport::ComparePicture(d.dib, 7, 5, orientation, f.color), "");
      EXPECT_EQ(hostkit::PaddingProblem(d.dib), "");
      digests << f.name << " " << orientation << " " << hostkit::BlockDigest(d.dib) << "\n";
    }
  }
  return digests.str();
}

TEST_F(DecodeTiff, EveryKindOfPictureInEveryOrientationFromAFile) { CheckEveryKind(plugin, true); }

// From memory, and the digests kept for the comparison of the two builds below.
TEST_F(DecodeTiff, EveryKindOfPictureInEveryOrientationFromMemory) {
  std::ofstream(DigestFileFor(hostkit::ProgramFolder())) << CheckEveryKind(plugin, false);
}

TEST_F(DecodeTiff, BothBuildsDeliverIdenticalPictures) {
#if !defined(_WIN64)
  GTEST_SKIP() << "compared from the 64-bit build, against the 32-bit build's digests";
#else
  std::ifstream theirs(DigestFileFor(hostkit::ProgramFolder() + L"..\\..\\x86\\bin\\"));
  if (!theirs) GTEST_SKIP() << "the 32-bit build's digests are not there (its tests did not run first)";
  std::map<std::string, std::string> expected;
  for (std::string name, orientation, digest; theirs >> name >> orientation >> digest;) expected[name + " " + orientation] = digest;
  ASSERT_FALSE(expected.empty());
  for (TiffFixture f : testsupport::AllTiffFixtures(7, 5))
    for (int orientation = 1; orientation <= 8; ++orientation) {
      f.page.orientation = orientation;
      const e2e::Delivered d = DecodeMemory(plugin, testsupport::WriteTiff(f.page));
      if (d.result != 0) continue;
      const std::string key = f.name + " " + std::to_string(orientation);
      EXPECT_EQ(std::to_string(hostkit::BlockDigest(d.dib)), expected[key]) << key;
    }
#endif
}

// Tiles of several shapes over pictures whose size is no multiple of them, from memory
// and from a file: the same block, byte for byte, as the picture stored in strips.
TEST_F(DecodeTiff, TiledPicturesOfEveryKindAreDeliveredAsTheirStripedTwins) {
  const std::pair<std::uint32_t, std::uint32_t> shapes[] = {{16, 16}, {48, 16}, {16, 32}};
  int index = 0;
  for (TiffFixture f : testsupport::AllTiffFixtures(37, 21)) {
    for (int orientation = 1; orientation <= 8; ++orientation, ++index) {
      SCOPED_TRACE(f.name + ", orientation " + std::to_string(orientation));
      f.page.orientation = orientation;
      f.page.compression = index % 2 ? 5 : 1;
      f.page.tileWidth = f.page.tileLength = 0;
      f.page.rowsPerStrip = 8;
      const e2e::Delivered striped = DecodeMemory(plugin, testsupport::WriteTiff(f.page));
      std::tie(f.page.tileWidth, f.page.tileLength) = shapes[index % 3];
      const auto bytes = testsupport::WriteTiff(f.page);
      const e2e::Delivered tiled = index % 4 < 2 ? DecodeMemory(plugin, bytes) : DecodeFile(plugin, TempFile(bytes).Path());
      EXPECT_EQ(tiled.result, striped.result);
      if (tiled.result != 0 || striped.result != 0) continue;
      EXPECT_TRUE(tiled.wellFormed) << tiled.why;
      EXPECT_EQ(hostkit::BlockDigest(tiled.dib), hostkit::BlockDigest(striped.dib));
    }
  }
}

TEST_F(DecodeTiff, OrientationTagsOfOtherTypesOrValuesAreIgnored) {
  TiffFixture f = testsupport::TiffFixtureNamed("rgb8", 6, 4);
  using testsupport::TiffType;
  struct Case {
    TiffType type;
    std::uint32_t value;
  };
  for (const Case c : {Case{TiffType::kLong, 6}, {TiffType::kByte, 6}, {TiffType::kSShort, 6}, {TiffType::kShort, 0},
                       {TiffType::kShort, 9}, {TiffType::kShort, 65535}}) {
    f.page.orientation = c.value;
    f.page.orientationType = c.type;
    const e2e::Delivered d = DecodeMemory(plugin, testsupport::WriteTiff(f.page));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(testsupport::ComparePicture(d.dib, 6, 4, 1, f.color), "") << "type " << int(c.type) << " value " << c.value;
  }
}

TEST_F(DecodeTiff, SettingsTakeEffectFromTheNextPicture) {
  TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 5, 3);
  f.page.orientation = 6;
  const auto bytes = testsupport::WriteTiff(f.page);
  const auto stored = [&](std::uint32_t x, std::uint32_t y) {
    // The fixture's colour before compositing: its samples are R, G, B, A.
    const std::uint8_t* p = f.page.pixels.data() + y * f.page.RowBytes() + 4 * x;
    return testsupport::Bgr{p[2], p[1], p[0]};
  };
  const auto alphaOf = [&](std::uint32_t x, std::uint32_t y) { return f.page.pixels[y * f.page.RowBytes() + 4 * x + 3]; };

  e2e::Delivered d = DecodeMemory(plugin, bytes);
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 5, 3, 6, f.color), "") << "no settings: composited on white, turned";

  settings.SetDword(L"Alpha", 0);
  d = DecodeMemory(plugin, bytes);
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 5, 3, 6, stored), "") << "Alpha 0: the alpha byte is dropped";

  settings.SetDword(L"Alpha", 1);
  settings.SetDword(L"Color", 0xAB402010);  // blue 0x40, green 0x20, red 0x10; the top byte is ignored
  d = DecodeMemory(plugin, bytes);
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 5, 3, 6,
                                        [&](auto x, auto y) { return testsupport::Composite(stored(x, y), alphaOf(x, y), {0x40, 0x20, 0x10}); }),
            "");

  settings.SetDword(L"exif_orientation", 0);
  d = DecodeMemory(plugin, bytes);
  EXPECT_EQ(d.dib.Width(), 5) << "orientation ignored: delivered as stored";
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 5, 3, 1,
                                        [&](auto x, auto y) { return testsupport::Composite(stored(x, y), alphaOf(x, y), {0x40, 0x20, 0x10}); }),
            "");
}

// Every value of the user's real settings key, or "absent".
std::string RealSettingsSnapshot() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(testsupport::RealUserSoftware(), L"Larkspur_Vale\\Quorvel.spi", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return "absent";
  std::string snapshot;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, size = 1024;
    BYTE data[1024];
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    snapshot += std::string(name, name + nameLength) + ":" + std::to_string(type) + ":" +
                std::string(reinterpret_cast<const char*>(data), size) + ";";
  }
  RegCloseKey(key);
  return snapshot;
}

// The tests write and the plug-in reads settings in the process's scratch key; the user's
// own key stays as it was.
TEST_F(DecodeTiff, TestsNeverTouchTheUsersOwnSettings) {
  ASSERT_NE(testsupport::RealUserSoftware(), nullptr);
  const std::string before = RealSettingsSnapshot();
  TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 5, 3);
  const auto bytes = testsupport::WriteTiff(f.page);
  settings.SetDword(L"Alpha", 1);
  settings.SetDword(L"Color", 0x00402010);
  settings.SetDword(L"exif_orientation", 0);
  const e2e::Delivered d = DecodeMemory(plugin, bytes);
  EXPECT_EQ(d.dib.Width(), 5);

  const std::wstring scratch = L"Quorvel test scratch\\" + std::to_wstring(GetCurrentProcessId()) +
                               L"\\Software\\Larkspur_Vale\\Quorvel.spi";
  DWORD color = 0, size = sizeof(color);
  EXPECT_EQ(RegGetValueW(testsupport::RealUserSoftware(), scratch.c_str(), L"Color", RRF_RT_REG_DWORD, nullptr, &color, &size),
            ERROR_SUCCESS)
      << "the settings written went somewhere other than the scratch key";
  EXPECT_EQ(color, 0x00402010u);
  EXPECT_EQ(RealSettingsSnapshot(), before);
}

// Another thread rewrites every setting while a picture is being decoded (at each
// progress report, the decode waiting until the rewrite is done): the picture follows the
// settings as they were when GetPicture began, never a mix of the two states.
struct Rewrite {
  int at;
  const CleanSettings* settings;
};
int WINAPI RewriteSettingsAt(int n, int, LONG_PTR data) {
  const auto* r = reinterpret_cast<const Rewrite*>(data);
  if (n == r->at) {
    std::thread writer([s = r->settings] {
      s->SetDword(L"exif_orientation", 0);
      s->SetDword(L"Alpha", 0);
      s->SetDword(L"Color", 0x000000FF);
    });
    writer.join();
  }
  return 0;
}

TEST_F(DecodeTiff, SettingsRewrittenDuringADecodeDoNotReachIt) {
  TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 5, 3);
  f.page.orientation = 6;
  const auto bytes = testsupport::WriteTiff(f.page);
  for (int at : {0, 10, 30, 50, 60, 90}) {
    settings.SetDword(L"exif_orientation", 1);
    settings.SetDword(L"Alpha", 1);
    settings.SetDword(L"Color", 0x00FFFFFF);
    Rewrite rewrite{at, &settings};
    HLOCAL info = nullptr, bits = nullptr;
    ASSERT_EQ(plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info, &bits, RewriteSettingsAt,
                                reinterpret_cast<LONG_PTR>(&rewrite)),
              0);
    hostkit::Dib dib;
    EXPECT_TRUE(hostkit::ReadDib(info, bits, dib));
    LocalFree(info);
    LocalFree(bits);
    EXPECT_EQ(testsupport::ComparePicture(dib, 5, 3, 6, f.color), "") << "rewritten at report " << at;
  }
}

struct Protocol {
  std::vector<int> numerators;
  std::vector<LONG_PTR> data;
  int stopAt = -1;
};
Protocol* gProtocol = nullptr;
int WINAPI Observe(int n, int d, LONG_PTR data) {
  EXPECT_EQ(d, 100);
  gProtocol->numerators.push_back(n);
  gProtocol->data.push_back(data);
  return n == gProtocol->stopAt;
}

TEST_F(DecodeTiff, ReportsTheWholeProgressSequenceAndStopsAtEachReport) {
  TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 9, 6);
  f.page.orientation = 8;
  const auto bytes = testsupport::WriteTiff(f.page);
  const LONG_PTR hostData = static_cast<LONG_PTR>(sizeof(void*) == 8 ? 0x7EDCBA9876543210ull : 0x76543210u);
  const std::vector<int> all = {0, 10, 30, 50, 60, 70, 80, 90, 100};
  for (int stopAt : {-1, 0, 10, 30, 50, 60, 70, 80, 90, 100}) {
    Protocol p;
    p.stopAt = stopAt;
    gProtocol = &p;
    HLOCAL info = nullptr, bits = nullptr;
    const int r = plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info, &bits, Observe, hostData);
    const std::vector<int> expected(all.begin(), stopAt < 0 ? all.end() : std::find(all.begin(), all.end(), stopAt) + 1);
    EXPECT_EQ(p.numerators, expected) << stopAt;
    for (LONG_PTR seen : p.data) EXPECT_EQ(seen, hostData) << "the host's data comes back whole";
    EXPECT_EQ(r, stopAt < 0 ? 0 : 1) << stopAt;
    if (stopAt < 0 || stopAt == 100) {
      ASSERT_NE(info, nullptr) << "the handles are the host's";
      ASSERT_NE(bits, nullptr);
      hostkit::Dib dib;
      EXPECT_TRUE(hostkit::ReadDib(info, bits, dib));
      LocalFree(info);
      LocalFree(bits);
    } else {
      EXPECT_EQ(info, nullptr) << stopAt;
      EXPECT_EQ(bits, nullptr) << stopAt;
    }
  }
}

TEST_F(DecodeTiff, AMultiPageFileShowsItsFirstPage) {
  TiffFixture first = testsupport::TiffFixtureNamed("rgb8", 6, 4);
  TiffFixture second = testsupport::TiffFixtureNamed("palette8", 9, 9);
  const auto bytes = testsupport::WriteTiff(std::vector<testsupport::TiffPage>{first.page, second.page});
  const e2e::Delivered d = DecodeMemory(plugin, bytes);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(testsupport::ComparePicture(d.dib, 6, 4, 1, first.color), "");
  const auto reversed = testsupport::WriteTiff(std::vector<testsupport::TiffPage>{second.page, first.page});
  EXPECT_EQ(DecodeMemory(plugin, reversed).dib.Width(), 9);
}

// Files written by ImageMagick and libtiff (tests/data/README.md), with the digest of the
// picture ImageMagick itself shows for each (auto-oriented, on white).
TEST_F(DecodeTiff, FilesMadeByIndependentToolsMatchTheirReferenceDigests) {
  const std::wstring folder = testsupport::DataFolder();
  std::ifstream list(std::string(folder.begin(), folder.end()) + "expected-digests.txt");
  ASSERT_TRUE(list) << "tests/data/expected-digests.txt";
  int checked = 0;
  for (std::string name, digest; list >> name >> digest;) {
    SCOPED_TRACE(name);
    const std::wstring path = testsupport::DataFolder() + std::wstring(name.begin(), name.end());
    const e2e::Delivered d = DecodeFile(plugin, path);
    ASSERT_EQ(d.result, 0);
    ASSERT_TRUE(d.wellFormed) << d.why;
    // FNV-1a over the displayed pixels, top-down, blue-green-red.
    std::uint64_t h = 14695981039346656037ull;
    for (const testsupport::Bgr& p : d.dib.pixels)
      for (std::uint8_t c : {p.b, p.g, p.r}) h = (h ^ c) * 1099511628211ull;
    EXPECT_EQ(std::to_string(h), digest);
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

}  // namespace

namespace {

TEST(DecodeTiffCompressed, LzwStripsDecodeToTheSamePicture) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  const CleanSettings settings;
  for (const char* name : {"rgb8", "palette8", "grey4", "rgba8"}) {
    TiffFixture f = testsupport::TiffFixtureNamed(name, 61, 37);
    f.page.compression = 5;
    f.page.rowsPerStrip = 8;
    f.page.orientation = 6;
    const e2e::Delivered d = DecodeMemory(plugin, testsupport::WriteTiff(f.page));
    ASSERT_EQ(d.result, 0) << name;
    EXPECT_EQ(testsupport::ComparePicture(d.dib, 61, 37, 6, f.color), "") << name;
  }
}

// Quarter turns go through the picture in bands of source rows: pictures several bands
// tall, with a short last band, in every element width the turns handle.
TEST(DecodeTiffCompressed, TurnedPicturesManyBandsTallComeOutWhole) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  const CleanSettings settings;
  for (const char* name : {"palette8", "rgb8", "rgba8", "grey16"})
    for (int orientation : {5, 6, 7, 8}) {
      TiffFixture f = testsupport::TiffFixtureNamed(name, 21, 301);
      f.page.orientation = orientation;
      const e2e::Delivered d = DecodeMemory(plugin, testsupport::WriteTiff(f.page));
      ASSERT_EQ(d.result, 0) << name << ", orientation " << orientation;
      EXPECT_EQ(testsupport::ComparePicture(d.dib, 21, 301, orientation, f.color), "") << name << ", orientation " << orientation;
    }
}

}  // namespace
