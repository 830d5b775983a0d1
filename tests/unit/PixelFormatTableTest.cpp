// The pixel format table against its definition: every row, the published GUID values,
// the stated regularities, the fallback, and the one-time build under memory pressure.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "FailingAllocator.h"
#include "decode/PixelFormatGuids.h"
#include "decode/PixelFormatTable.h"

namespace quorvel {
namespace {

// The published values (Microsoft's "Native Pixel Formats" and wincodec.h), typed here
// independently of the plug-in's constants.
const std::map<std::string, const char*> kPublished = {
    {"DontCare", "{6FDDC324-4E03-4BFE-B185-3D77768DC900}"},
    {"1bppIndexed", "{6FDDC324-4E03-4BFE-B185-3D77768DC901}"},
    {"2bppIndexed", "{6FDDC324-4E03-4BFE-B185-3D77768DC902}"},
    {"4bppIndexed", "{6FDDC324-4E03-4BFE-B185-3D77768DC903}"},
    {"8bppIndexed", "{6FDDC324-4E03-4BFE-B185-3D77768DC904}"},
    {"BlackWhite", "{6FDDC324-4E03-4BFE-B185-3D77768DC905}"},
    {"2bppGray", "{6FDDC324-4E03-4BFE-B185-3D77768DC906}"},
    {"4bppGray", "{6FDDC324-4E03-4BFE-B185-3D77768DC907}"},
    {"8bppGray", "{6FDDC324-4E03-4BFE-B185-3D77768DC908}"},
    {"16bppBGR555", "{6FDDC324-4E03-4BFE-B185-3D77768DC909}"},
    {"16bppBGR565", "{6FDDC324-4E03-4BFE-B185-3D77768DC90A}"},
    {"16bppGray", "{6FDDC324-4E03-4BFE-B185-3D77768DC90B}"},
    {"24bppBGR", "{6FDDC324-4E03-4BFE-B185-3D77768DC90C}"},
    {"24bppRGB", "{6FDDC324-4E03-4BFE-B185-3D77768DC90D}"},
    {"32bppBGR", "{6FDDC324-4E03-4BFE-B185-3D77768DC90E}"},
    {"32bppBGRA", "{6FDDC324-4E03-4BFE-B185-3D77768DC90F}"},
    {"32bppPBGRA", "{6FDDC324-4E03-4BFE-B185-3D77768DC910}"},
    {"32bppGrayFloat", "{6FDDC324-4E03-4BFE-B185-3D77768DC911}"},
    {"48bppRGBFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC912}"},
    {"16bppGrayFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC913}"},
    {"32bppBGR101010", "{6FDDC324-4E03-4BFE-B185-3D77768DC914}"},
    {"48bppRGB", "{6FDDC324-4E03-4BFE-B185-3D77768DC915}"},
    {"64bppRGBA", "{6FDDC324-4E03-4BFE-B185-3D77768DC916}"},
    {"64bppPRGBA", "{6FDDC324-4E03-4BFE-B185-3D77768DC917}"},
    {"96bppRGBFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC918}"},
    {"128bppRGBAFloat", "{6FDDC324-4E03-4BFE-B185-3D77768DC919}"},
    {"128bppPRGBAFloat", "{6FDDC324-4E03-4BFE-B185-3D77768DC91A}"},
    {"128bppRGBFloat", "{6FDDC324-4E03-4BFE-B185-3D77768DC91B}"},
    {"32bppCMYK", "{6FDDC324-4E03-4BFE-B185-3D77768DC91C}"},
    {"64bppRGBAFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC91D}"},
    {"128bppRGBAFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC91E}"},
    {"64bppCMYK", "{6FDDC324-4E03-4BFE-B185-3D77768DC91F}"},
    {"24bpp3Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC920}"},
    {"32bpp4Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC921}"},
    {"40bpp5Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC922}"},
    {"48bpp6Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC923}"},
    {"56bpp7Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC924}"},
    {"64bpp8Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC925}"},
    {"48bpp3Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC926}"},
    {"64bpp4Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC927}"},
    {"80bpp5Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC928}"},
    {"96bpp6Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC929}"},
    {"112bpp7Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC92A}"},
    {"128bpp8Channels", "{6FDDC324-4E03-4BFE-B185-3D77768DC92B}"},
    {"40bppCMYKAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC92C}"},
    {"80bppCMYKAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC92D}"},
    {"32bpp3ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC92E}"},
    {"40bpp4ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC92F}"},
    {"48bpp5ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC930}"},
    {"56bpp6ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC931}"},
    {"64bpp7ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC932}"},
    {"72bpp8ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC933}"},
    {"64bpp3ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC934}"},
    {"80bpp4ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC935}"},
    {"96bpp5ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC936}"},
    {"112bpp6ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC937}"},
    {"128bpp7ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC938}"},
    {"144bpp8ChannelsAlpha", "{6FDDC324-4E03-4BFE-B185-3D77768DC939}"},
    {"64bppRGBAHalf", "{6FDDC324-4E03-4BFE-B185-3D77768DC93A}"},
    {"48bppRGBHalf", "{6FDDC324-4E03-4BFE-B185-3D77768DC93B}"},
    {"32bppRGBE", "{6FDDC324-4E03-4BFE-B185-3D77768DC93D}"},
    {"16bppGrayHalf", "{6FDDC324-4E03-4BFE-B185-3D77768DC93E}"},
    {"32bppGrayFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC93F}"},
    {"64bppRGBFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC940}"},
    {"128bppRGBFixedPoint", "{6FDDC324-4E03-4BFE-B185-3D77768DC941}"},
    {"64bppRGBHalf", "{6FDDC324-4E03-4BFE-B185-3D77768DC942}"},
    {"16bppBGRA5551", "{05EC7C2B-F1E6-4961-AD46-E1CC810A87D2}"},
    {"48bppBGR", "{E605A384-B468-46CE-BB2E-36F180E64313}"},
    {"64bppBGRA", "{1562FF7C-D352-46F9-979E-42976B792246}"},
    {"64bppPBGRA", "{8C518E8E-A4EC-468B-AE70-C9A35A9C5530}"},
    {"48bppBGRFixedPoint", "{49CA140E-CAB6-493B-9DDF-60187C37532A}"},
    {"64bppBGRAFixedPoint", "{356DE33C-54D2-4A23-BB04-9B7BF9B1D42D}"},
    {"32bppRGBA", "{F5C7AD2D-6A8D-43DD-A7A8-A29935261AE9}"},
    {"32bppPRGBA", "{3CC4A650-A527-4D37-A916-3142C7EBEDBA}"},
    {"32bppRGBA1010102", "{25238D72-FCF9-4522-B514-5578E5AD55E0}"},
    {"32bppRGBA1010102XR", "{00DE6B9A-C101-434B-B502-D0165EE1122C}"},
    {"8bppAlpha", "{E6CD0116-EEBA-4161-AA85-27DD9FB3A895}"},
};

// The table as defined: source, target, bit count, alpha, in declaration order.
const char* const kRows = R"(
1bppIndexed 1bppIndexed 1 no
2bppIndexed 4bppIndexed 2 no
4bppIndexed 4bppIndexed 4 no
8bppIndexed 8bppIndexed 8 no
BlackWhite BlackWhite 1 no
2bppGray 4bppGray 2 no
4bppGray 4bppGray 4 no
8bppGray 8bppGray 8 no
16bppGray 24bppBGR 16 no
16bppGrayFixedPoint 24bppBGR 16 no
16bppGrayHalf 24bppBGR 16 no
32bppGrayFloat 24bppBGR 32 no
32bppGrayFixedPoint 24bppBGR 32 no
16bppBGR555 16bppBGR555 16 no
16bppBGR565 24bppBGR 16 no
16bppBGRA5551 16bppBGR555 16 yes
32bppBGR101010 24bppBGR 32 no
32bppRGBA1010102 24bppBGR 32 yes
32bppRGBA1010102XR 24bppBGR 32 yes
24bppRGB 24bppBGR 24 no
24bppBGR 24bppBGR 24 no
32bppBGR 24bppBGR 32 no
32bppRGBA 24bppBGR 32 yes
32bppBGRA 24bppBGR 32 yes
32bppRGBE 24bppBGR 32 no
32bppPRGBA 24bppBGR 32 yes
32bppPBGRA 24bppBGR 32 yes
48bppRGB 24bppBGR 48 no
48bppBGR 24bppBGR 48 no
48bppRGBFixedPoint 24bppBGR 48 no
48bppBGRFixedPoint 24bppBGR 48 no
48bppRGBHalf 24bppBGR 48 no
64bppRGBA 24bppBGR 64 yes
64bppBGRA 24bppBGR 64 yes
64bppPRGBA 24bppBGR 64 yes
64bppPBGRA 24bppBGR 64 yes
64bppRGBFixedPoint 24bppBGR 64 no
64bppRGBAFixedPoint 24bppBGR 64 yes
64bppBGRAFixedPoint 24bppBGR 64 yes
64bppRGBHalf 24bppBGR 64 no
64bppRGBAHalf 24bppBGR 64 yes
96bppRGBFixedPoint 24bppBGR 96 no
128bppRGBFloat 24bppBGR 128 no
128bppRGBAFloat 24bppBGR 128 yes
128bppPRGBAFloat 24bppBGR 128 yes
128bppRGBFixedPoint 24bppBGR 128 no
128bppRGBAFixedPoint 24bppBGR 128 yes
32bppCMYK 24bppBGR 32 no
64bppCMYK 24bppBGR 64 no
40bppCMYKAlpha 24bppBGR 40 yes
80bppCMYKAlpha 24bppBGR 80 yes
24bpp3Channels 24bppBGR 24 no
48bpp3Channels 24bppBGR 48 no
32bpp3ChannelsAlpha 24bppBGR 32 yes
64bpp3ChannelsAlpha 24bppBGR 64 yes
32bpp4Channels 24bppBGR 32 no
64bpp4Channels 24bppBGR 64 no
40bpp4ChannelsAlpha 24bppBGR 40 yes
80bpp4ChannelsAlpha 24bppBGR 80 yes
40bpp5Channels 24bppBGR 40 no
80bpp5Channels 24bppBGR 80 no
48bpp5ChannelsAlpha 24bppBGR 48 yes
96bpp5ChannelsAlpha 24bppBGR 96 yes
48bpp6Channels 24bppBGR 48 no
96bpp6Channels 24bppBGR 96 no
56bpp6ChannelsAlpha 24bppBGR 56 yes
112bpp6ChannelsAlpha 24bppBGR 112 yes
56bpp7Channels 24bppBGR 56 no
112bpp7Channels 24bppBGR 112 no
64bpp7ChannelsAlpha 24bppBGR 64 yes
128bpp7ChannelsAlpha 24bppBGR 128 yes
64bpp8Channels 24bppBGR 64 no
128bpp8Channels 24bppBGR 128 no
72bpp8ChannelsAlpha 24bppBGR 72 yes
144bpp8ChannelsAlpha 24bppBGR 144 yes
8bppAlpha 24bppBGR 8 yes
)";

struct Row {
  std::string source, target;
  int bitCount;
  bool alpha;
};

std::vector<Row> Rows() {
  std::vector<Row> rows;
  std::istringstream in(kRows);
  Row r;
  std::string alpha;
  while (in >> r.source >> r.target >> r.bitCount >> alpha) {
    r.alpha = alpha == "yes";
    rows.push_back(r);
  }
  return rows;
}

GUID Published(const std::string& name) {
  const auto it = kPublished.find(name);
  EXPECT_NE(it, kPublished.end()) << name;
  GUID guid{};
  if (it == kPublished.end()) return guid;
  std::wstring text(it->second, it->second + std::strlen(it->second));
  EXPECT_EQ(CLSIDFromString(text.c_str(), &guid), S_OK) << name;
  return guid;
}

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

std::string NameOf(const GUID& guid) {
  for (const auto& [name, text] : kPublished)
    if (Same(Published(name), guid)) return name;
  return "?";
}

TEST(PixelFormatTable, HoldsTheSeventySixRowsInOrderWithPublishedGuids) {
  LookUpPixelFormat(kPixelFormatDontCare);
  const auto entries = PixelFormatEntries();
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), kPixelFormatEntryCount);
  ASSERT_EQ(entries.size(), kPixelFormatEntryCount);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].source);
    EXPECT_TRUE(Same(*entries[i].source, Published(rows[i].source))) << "row " << i + 1 << " is " << NameOf(*entries[i].source);
    EXPECT_TRUE(Same(*entries[i].target, Published(rows[i].target))) << "target " << NameOf(*entries[i].target);
    EXPECT_EQ(entries[i].bitCount, rows[i].bitCount);
    EXPECT_EQ(entries[i].hasAlpha, rows[i].alpha);
    // Looking a format up finds its own row's values.
    const PixelFormatEntry& found = LookUpPixelFormat(Published(rows[i].source));
    EXPECT_TRUE(Same(*found.source, *entries[i].source));
    EXPECT_EQ(found.bitCount, rows[i].bitCount);
  }
}

TEST(PixelFormatTable, FollowsItsStatedRegularities) {
  const std::regex depth("^([0-9]+)bpp");
  const std::regex alphaName("RGBA|BGRA|Alpha");
  const std::set<std::string> selfTargets = {"1bppIndexed", "4bppIndexed", "8bppIndexed", "BlackWhite",
                                             "4bppGray",    "8bppGray",    "16bppBGR555"};
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.source);
    const PixelFormatEntry& e = LookUpPixelFormat(Published(row.source));
    std::smatch m;
    const int named = std::regex_search(row.source, m, depth) ? std::stoi(m[1]) : 1;  // BlackWhite counts 1
    EXPECT_EQ(e.bitCount, named);
    EXPECT_EQ(e.hasAlpha, std::regex_search(row.source, alphaName));
    std::string target;
    if (selfTargets.count(row.source)) target = row.source;
    else if (row.source == "2bppIndexed") target = "4bppIndexed";
    else if (row.source == "2bppGray") target = "4bppGray";
    else if (row.source == "16bppBGRA5551") target = "16bppBGR555";
    else target = "24bppBGR";
    EXPECT_TRUE(Same(*e.target, Published(target))) << NameOf(*e.target);
  }
}

TEST(PixelFormatTable, EveryOtherFormatGetsTheFallbackEntry) {
  GUID zero{};
  GUID unknown = Published("32bppBGRA");
  unknown.Data4[7] ^= 0x55;
  const GUID rgb32 = Published("32bppBGRA");
  GUID justAbove = Published("48bppRGBHalf");
  justAbove.Data4[7] = 0x3C;  // unassigned, between two keys of the map
  for (const GUID& guid : {Published("DontCare"), zero, unknown, justAbove}) {
    const PixelFormatEntry& e = LookUpPixelFormat(guid);
    EXPECT_EQ(&e, &kFallbackFormatEntry);
    EXPECT_EQ(e.bitCount, 0);
    EXPECT_FALSE(e.hasAlpha);
    EXPECT_TRUE(Same(*e.target, Published("24bppBGR")));
    EXPECT_TRUE(Same(*e.source, Published("DontCare")));
  }
  // Published formats that the table leaves out fall back too: 32bppRGB, 64bppPRGBAHalf.
  for (const wchar_t* missing : {L"{D98C6B95-3EFE-47D6-BB25-EB1748AB0CF1}", L"{58AD26C2-C623-4D9D-B320-387E49F8C442}"}) {
    GUID guid{};
    ASSERT_EQ(CLSIDFromString(missing, &guid), S_OK);
    EXPECT_EQ(&LookUpPixelFormat(guid), &kFallbackFormatEntry);
  }
  EXPECT_EQ(&LookUpPixelFormat(rgb32), &LookUpPixelFormat(rgb32)) << "one entry object per format";
  EXPECT_EQ(PixelFormatTableGuardBits(), 7u);
}

TEST(PixelFormatTable, MemoryRunningOutWhileBuildingLeavesTheNextLookupToBuildAgain) {
  // ctest runs each test in a process of its own, where the table is not built yet.
  if (PixelFormatTableGuardBits() != 0u) GTEST_SKIP() << "an earlier test of this process built the table";
  testsupport::FailAllocationsAfter(0);
  EXPECT_THROW(LookUpPixelFormat(kPixelFormat8bppGray), std::bad_alloc);
  EXPECT_EQ(PixelFormatTableGuardBits(), 3u) << "the fallback and the rows are filled, the map is not";
  testsupport::FailAllocationsAfter(10);  // part of the map's nodes
  EXPECT_THROW(LookUpPixelFormat(kPixelFormat8bppGray), std::bad_alloc);
  EXPECT_EQ(PixelFormatTableGuardBits(), 3u);
  testsupport::StopFailingAllocations();
  EXPECT_EQ(LookUpPixelFormat(kPixelFormat8bppGray).bitCount, 8);
  EXPECT_EQ(PixelFormatTableGuardBits(), 7u);
}

}  // namespace
}  // namespace quorvel
