// GetPluginInfo and GetPluginInfoW: the strings by index, truncation and termination,
// and what a null or short buffer gets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Plugin.h"

namespace {

using hostkit::Plugin;

std::wstring VersionText() { return L"" QUORVEL_ABOUT_TEXT; }

TEST(PluginInfo, WideStringsByIndex) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  const std::wstring expected[] = {L"00IN", VersionText(), L"*.TIF;*.TIFF", L"TIFF - Tagged Image File Format (*.tif,*.tiff)"};
  for (int index = 0; index < 4; ++index) {
    wchar_t buffer[256];
    const int n = plugin.GetPluginInfoW(index, buffer, 256);
    EXPECT_EQ(n, static_cast<int>(expected[index].size()));
    EXPECT_EQ(std::wstring(buffer), expected[index]);
  }
  for (int index : {-1, 4, 5, 9, 10, 1000}) {
    wchar_t buffer[8] = L"xxxxxxx";
    EXPECT_EQ(plugin.GetPluginInfoW(index, buffer, 8), 0) << index;
    EXPECT_EQ(buffer[0], L'\0') << "an empty string: the host's type list ends";
  }
}

TEST(PluginInfo, WideCopiesAreCutAndAlwaysTerminated) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  wchar_t buffer[8];
  std::wmemset(buffer, L'#', 8);
  EXPECT_EQ(plugin.GetPluginInfoW(0, buffer, 5), 4);
  EXPECT_EQ(std::wstring(buffer), L"00IN");
  std::wmemset(buffer, L'#', 8);
  EXPECT_EQ(plugin.GetPluginInfoW(0, buffer, 4), 3);
  EXPECT_EQ(std::wstring(buffer), L"00I");
  EXPECT_EQ(buffer[4], L'#') << "nothing written past the length";
  EXPECT_EQ(plugin.GetPluginInfoW(0, buffer, 1), 0);
  EXPECT_EQ(buffer[0], L'\0');
  std::wmemset(buffer, L'#', 8);
  EXPECT_EQ(plugin.GetPluginInfoW(0, buffer, 0), 0);
  EXPECT_EQ(plugin.GetPluginInfoW(0, buffer, -5), 0);
  EXPECT_EQ(buffer[0], L'#') << "a zero or negative length writes nothing";
  EXPECT_EQ(plugin.GetPluginInfoW(0, nullptr, 5), 0);
}

TEST(PluginInfo, AnsiStringsAreConvertedAndCutByBytes) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  char buffer[256];
  EXPECT_EQ(plugin.GetPluginInfo(2, buffer, 256), 12);
  EXPECT_STREQ(buffer, "*.TIF;*.TIFF");
  EXPECT_EQ(plugin.GetPluginInfo(3, buffer, 256), 46);
  EXPECT_STREQ(buffer, "TIFF - Tagged Image File Format (*.tif,*.tiff)");
  EXPECT_EQ(plugin.GetPluginInfo(1, buffer, 256), 46);
  const std::wstring version = VersionText();
  EXPECT_EQ(std::string(buffer), std::string(version.begin(), version.end()));
  EXPECT_EQ(plugin.GetPluginInfo(4, buffer, 256), 0);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(plugin.GetPluginInfo(1, buffer, 12), 11);
  EXPECT_EQ(std::string(buffer), std::string(version.begin(), version.begin() + 11));
  EXPECT_EQ(buffer[12], '#');
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(plugin.GetPluginInfo(0, buffer, 0), 0);
  EXPECT_EQ(plugin.GetPluginInfo(0, buffer, -1), 0);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(plugin.GetPluginInfo(0, nullptr, 10), 0);
}

}  // namespace
