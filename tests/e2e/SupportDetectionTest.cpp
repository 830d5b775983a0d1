// IsSupported and IsSupportedW as a host calls them: the extension test first, then the
// content through the header block or the host's file handle, with the fall back to
// the named file and the acceptance of a missing one.
#include <gtest/gtest.h>

#include <cstring>

#include "Plugin.h"
#include "TestEnvironment.h"
#include "TiffFixtures.h"

namespace {

using hostkit::Plugin;
using testsupport::TempFile;

std::vector<std::uint8_t> SmallTiff() { return testsupport::WriteTiff(testsupport::TiffFixtureNamed("rgb8", 4, 4).page); }

// A TIFF whose strips come first, so that its image directory lies beyond 2,048 bytes.
std::vector<std::uint8_t> TiffWithLateDirectory() {
  auto f = testsupport::TiffFixtureNamed("rgb8", 40, 40);
  auto bytes = testsupport::WriteTiff(f.page);
  EXPECT_GT(bytes.size(), 4800u);
  return bytes;
}

struct HeaderBlock {
  explicit HeaderBlock(const std::vector<std::uint8_t>& file) {
    std::memcpy(bytes, file.data(), std::min<std::size_t>(file.size(), sizeof(bytes)));
  }
  ULONG_PTR Hint() const { return reinterpret_cast<ULONG_PTR>(bytes); }
  std::uint8_t bytes[2048] = {};
};

class SupportDetection : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()); }
  Plugin plugin;
};

TEST_F(SupportDetection, TheExtensionMustBeTifOrTiffInAnyCase) {
  const HeaderBlock block(SmallTiff());
  for (const char* name : {"C:\\pics\\a.tif", "a.TIF", "a.Tiff", "a.tIfF", "dir.jpg\\b.tiff"}) {
    EXPECT_EQ(plugin.IsSupported(name, block.Hint()), 1) << name;
    const std::wstring wide(name, name + std::strlen(name));
    EXPECT_EQ(plugin.IsSupportedW(wide.c_str(), block.Hint()), 1) << name;
  }
  for (const char* name : {"a.tiff2", "a.tifff", "a.tf", "a.jpg", "a", "a.tif.bak", "C:\\pics.tif\\a", ""}) {
    EXPECT_EQ(plugin.IsSupported(name, block.Hint()), 0) << name;
    const std::wstring wide(name, name + std::strlen(name));
    EXPECT_EQ(plugin.IsSupportedW(wide.c_str(), block.Hint()), 0) << name;
  }
}

TEST_F(SupportDetection, OtherNamesAreRefusedWithoutLookingAtTheHint) {
  // An address that would fault if it were read, and a valid TIFF behind a handle:
  // neither is looked at once the name fails.
  const ULONG_PTR unmapped = static_cast<ULONG_PTR>(0x7FF00000u) << (sizeof(void*) == 8 ? 12 : 0);
  EXPECT_EQ(plugin.IsSupportedW(L"picture.jpg", unmapped), 0);
  const TempFile file(SmallTiff(), L".jpg");
  HANDLE h = CreateFileW(file.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.IsSupportedW(file.Path().c_str(), reinterpret_cast<ULONG_PTR>(h)), 0);
  const TempFile tif(SmallTiff());
  EXPECT_EQ(plugin.IsSupportedW(tif.Path().c_str(), reinterpret_cast<ULONG_PTR>(h)), 1) << "same content, other name";
  CloseHandle(h);
}

TEST_F(SupportDetection, AHandleHintIsUsedAndLeftWithTheHost) {
  for (const auto& [bytes, expected] : {std::pair{SmallTiff(), 1},
                                        std::pair{testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png"), 0}}) {
    const TempFile file(bytes);
    HANDLE h = CreateFileW(file.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_LT(reinterpret_cast<ULONG_PTR>(h), 0x10000u) << "kernel handles are small values";
    EXPECT_EQ(plugin.IsSupportedW(file.Path().c_str(), reinterpret_cast<ULONG_PTR>(h)), expected);
    EXPECT_EQ(plugin.IsSupported(file.AnsiPath().c_str(), reinterpret_cast<ULONG_PTR>(h)), expected);
    // Still open and usable by the host.
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    char first[2] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, first, 2, &read, nullptr));
    EXPECT_EQ(read, 2u);
    EXPECT_TRUE(CloseHandle(h));
  }
  EXPECT_EQ(plugin.IsSupportedW(L"a.tif", 0), 0) << "a hint of 0 is a handle value, and not a valid one";
}

TEST_F(SupportDetection, ABlockThatEndsBeforeTheDirectoryIsDecidedByTheFile) {
  const auto late = TiffWithLateDirectory();
  const HeaderBlock block(late);
  const TempFile file(late);
  EXPECT_EQ(plugin.IsSupportedW(file.Path().c_str(), block.Hint()), 1) << "decided by opening the file";
  EXPECT_EQ(plugin.IsSupportedW(nullptr, block.Hint()), 0) << "no name: only the block decides";
  const TempFile png(testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png"));
  EXPECT_EQ(plugin.IsSupportedW(png.Path().c_str(), HeaderBlock(std::vector<std::uint8_t>(2048, 0)).Hint()), 0)
      << "the file opens but is no TIFF";
}

TEST_F(SupportDetection, AMissingFileWithATiffNameIsAcceptedOnItsExtension) {
  const HeaderBlock garbage(std::vector<std::uint8_t>(2048, 0x42));
  const std::wstring missing = testsupport::UniqueTempPath(L".tif");
  EXPECT_EQ(plugin.IsSupportedW(missing.c_str(), garbage.Hint()), 1);
  const std::string ansi(missing.begin(), missing.end());
  EXPECT_EQ(plugin.IsSupported(ansi.c_str(), garbage.Hint()), 1);
  // A missing folder is "path not found", not "file not found": refused.
  EXPECT_EQ(plugin.IsSupportedW(L"Z:\\no\\such\\folder\\a.tif", garbage.Hint()), 0);
}

TEST_F(SupportDetection, AFileThatCannotBeOpenedForAnotherReasonIsRefused) {
  const HeaderBlock garbage(std::vector<std::uint8_t>(2048, 0x42));
  const TempFile file(TiffWithLateDirectory());
  HANDLE exclusive = CreateFileW(file.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.IsSupportedW(file.Path().c_str(), garbage.Hint()), 0) << "sharing violation";
  CloseHandle(exclusive);
}

TEST_F(SupportDetection, APngNamedTifIsRefusedAndAValidBlockSuffices) {
  const auto png = testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png");
  const TempFile file(png);
  EXPECT_EQ(plugin.IsSupportedW(file.Path().c_str(), HeaderBlock(png).Hint()), 0);
  EXPECT_EQ(plugin.IsSupportedW(nullptr, HeaderBlock(SmallTiff()).Hint()), 1) << "a null name skips the extension test";
  EXPECT_EQ(plugin.IsSupported(nullptr, HeaderBlock(SmallTiff()).Hint()), 0) << "the ANSI export makes it an empty name";
}

}  // namespace
