// Files that Wine's imaging component mishandles (tests/data/hostile): the plug-in must
// answer them with result codes wherever the component survives them.
#include <gtest/gtest.h>

#include "E2eSupport.h"
#include "TestEnvironment.h"

namespace {

const wchar_t* const kHostileFiles[] = {L"next-directory-loops-to-itself.tif", L"entry-count-one-too-many.tif",
                                        L"orientation-count-40000.tif", L"bit-flips-in-big-endian-lzw-a.tif",
                                        L"bit-flips-in-big-endian-lzw-b.tif", L"group4-tag-damage-changing-pixels.tif"};

bool IsResultCode(int r) { return r == -1 || r == 0 || r == 1 || r == 2 || r == 4 || r == 8; }

void ExpectCleanAnswers(const hostkit::Plugin& plugin, const wchar_t* name) {
  const std::wstring path = testsupport::DataFolder() + L"hostile\\" + name;
  const auto bytes = testsupport::ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty()) << "missing " << testing::PrintToString(std::wstring(name));
  susie::PictureInfo info{};
  EXPECT_TRUE(IsResultCode(plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info)));
  for (const auto& d : {e2e::DecodeMemory(plugin, bytes), e2e::DecodeFile(plugin, path)}) {
    EXPECT_TRUE(IsResultCode(d.result)) << d.result;
    if (d.result == 0) {
      EXPECT_TRUE(d.wellFormed) << d.why;
    }
  }
}

TEST(HostileFiles, AreAnsweredWithResultCodesWhenTheOrientationIsNotRead) {
  testsupport::CleanSettings settings;
  settings.SetDword(L"exif_orientation", 0);
  hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  for (const wchar_t* name : kHostileFiles) ExpectCleanAnswers(plugin, name);
}

TEST(HostileFiles, AreAnsweredWithResultCodesWhenTheOrientationIsRead) {
  if (testsupport::RunningOnWine())
    GTEST_SKIP() << "Wine's imaging component crashes reading these files' metadata (tests/data/hostile/README.md)";
  testsupport::CleanSettings settings;
  hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  for (const wchar_t* name : kHostileFiles) ExpectCleanAnswers(plugin, name);
}

}  // namespace
