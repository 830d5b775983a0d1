// Files that Wine's imaging component mishandles (tests/data/hostile): the plug-in answers
// every call with a result code, whether the orientation tag is read or not (the plug-in
// reads the directory itself; the component's metadata reader crashes on these), and the
// tag changes no answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "E2eSupport.h"
#include "TestEnvironment.h"

namespace {

const wchar_t* const kHostileFiles[] = {L"next-directory-loops-to-itself.tif", L"entry-count-one-too-many.tif",
                                        L"orientation-count-40000.tif", L"bit-flips-in-big-endian-lzw-a.tif",
                                        L"bit-flips-in-big-endian-lzw-b.tif", L"group4-tag-damage-changing-pixels.tif"};

bool IsResultCode(int r) { return r == -1 || r == 0 || r == 1 || r == 2 || r == 4 || r == 8; }

// The answers of GetPictureInfo and of GetPicture from memory and from the file, as text.
std::string Answers(const hostkit::Plugin& plugin, const wchar_t* name) {
  const std::wstring path = testsupport::DataFolder() + L"hostile\\" + name;
  const auto bytes = testsupport::ReadFileBytes(path);
  EXPECT_FALSE(bytes.empty()) << "missing " << testing::PrintToString(std::wstring(name));
  susie::PictureInfo info{};
  const int r = plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info);
  EXPECT_TRUE(IsResultCode(r)) << r;
  std::string answers = "info " + std::to_string(r);
  for (const auto& d : {e2e::DecodeMemory(plugin, bytes), e2e::DecodeFile(plugin, path)}) {
    EXPECT_TRUE(IsResultCode(d.result)) << d.result;
    if (d.result == 0) {
      EXPECT_TRUE(d.wellFormed) << d.why;
    }
    answers += ", picture " + std::to_string(d.result);
  }
  return answers;
}

TEST(HostileFiles, AreAnsweredWithResultCodesWhenTheOrientationIsNotRead) {
  testsupport::CleanSettings settings;
  settings.SetDword(L"exif_orientation", 0);
  hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  for (const wchar_t* name : kHostileFiles) Answers(plugin, name);
}

TEST(HostileFiles, AreAnsweredWithResultCodesWhenTheOrientationIsRead) {
  testsupport::CleanSettings settings;
  hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  for (const wchar_t* name : kHostileFiles) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    settings.SetDword(L"exif_orientation", 1);
    const std::string read = Answers(plugin, name);
    settings.SetDword(L"exif_orientation", 0);
    EXPECT_EQ(read, Answers(plugin, name)) << "the same answers with the tag ignored";
    std::printf("[ answers  ] %ls: %s\n", name, read.c_str());
  }
}

}  // namespace
