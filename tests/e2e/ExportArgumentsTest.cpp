// The exports as a host calls them: argument checks, input kinds, the file-mode length,
// the first progress reports and cancellation, memory input and refused containers.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstring>
#include <vector>

#include "Plugin.h"
#include "TestEnvironment.h"
#include "TiffWriter.h"

namespace {

using hostkit::Plugin;
using testsupport::CleanSettings;
using testsupport::TempFile;

std::vector<std::uint8_t> RgbTiff() {
  testsupport::TiffPage page;
  page.width = 4;
  page.height = 3;
  page.samplesPerPixel = 3;
  page.photometric = 2;
  for (int i = 0; i < 4 * 3 * 3; ++i) page.pixels.push_back(static_cast<std::uint8_t>(i * 7));
  return testsupport::WriteTiff(page);
}

HLOCAL Sentinel(int n) { return reinterpret_cast<HLOCAL>(static_cast<ULONG_PTR>(0x5A5A0000 + n)); }

class Exports : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()) << "the plug-in beside the test program must load"; }
  CleanSettings settings;
  Plugin plugin;
  const std::vector<std::uint8_t> tiff = RgbTiff();
};

TEST_F(Exports, GetPreviewIsNotImplementedUnderBothNames) {
  EXPECT_EQ(plugin.GetPreview, plugin.GetPreviewW) << "one function under two names";
  HLOCAL a = Sentinel(1), b = Sentinel(2);
  EXPECT_EQ(plugin.GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(plugin.GetPreviewW(nullptr, 0, 1, &a, &b, nullptr, 0), -1);
  EXPECT_EQ(plugin.GetPreview(reinterpret_cast<LPCSTR>(tiff.data()), tiff.size(), 1, &a, &b, nullptr, 0), -1);
  EXPECT_EQ(a, Sentinel(1));
  EXPECT_EQ(b, Sentinel(2));
}

TEST_F(Exports, NullArgumentsGiveInternalErrorAndWriteNothing) {
  const TempFile file(tiff);
  susie::PictureInfo info{};
  HLOCAL a = Sentinel(1), b = Sentinel(2);
  EXPECT_EQ(plugin.GetPictureInfo(nullptr, 0, 0, &info), 8);
  EXPECT_EQ(plugin.GetPictureInfoW(nullptr, 0, 0, &info), 8);
  EXPECT_EQ(plugin.GetPictureInfoW(file.Path().c_str(), 0, 0, nullptr), 8);
  EXPECT_EQ(plugin.GetPictureInfo(file.AnsiPath().c_str(), 0, 0, nullptr), 8);
  EXPECT_EQ(plugin.GetPicture(nullptr, 0, 0, &a, &b, nullptr, 0), 8);
  EXPECT_EQ(plugin.GetPictureW(file.Path().c_str(), 0, 0, nullptr, &b, nullptr, 0), 8);
  EXPECT_EQ(plugin.GetPictureW(file.Path().c_str(), 0, 0, &a, nullptr, nullptr, 0), 8);
  EXPECT_EQ(a, Sentinel(1));
  EXPECT_EQ(b, Sentinel(2));
}

TEST_F(Exports, OnlyTheLowThreeBitsOfTheFlagsChooseTheInput) {
  const TempFile file(tiff);
  const auto* bytes = reinterpret_cast<LPCSTR>(tiff.data());
  for (unsigned flags = 2; flags <= 7; ++flags) {
    susie::PictureInfo info{};
    HLOCAL a = nullptr, b = nullptr;
    EXPECT_EQ(plugin.GetPictureInfoW(file.Path().c_str(), 0, flags, &info), 8) << flags;
    EXPECT_EQ(plugin.GetPicture(bytes, tiff.size(), flags, &a, &b, nullptr, 0), 8) << flags;
    EXPECT_EQ(a, nullptr);
  }
  susie::PictureInfo info{};
  EXPECT_EQ(plugin.GetPictureInfoW(file.Path().c_str(), 0, 8, &info), 0) << "8 & 7 = 0: file";
  EXPECT_EQ(info.width, 4);
  info = {};
  EXPECT_EQ(plugin.GetPictureInfo(bytes, tiff.size(), 9, &info), 0) << "9 & 7 = 1: memory";
  EXPECT_EQ(info.height, 3);
  info = {};
  EXPECT_EQ(plugin.GetPictureInfo(bytes, tiff.size(), 0xFFFFFFF9u, &info), 0) << "high bits ignored";
}

TEST_F(Exports, TheFileModeLengthIsIgnored) {
  const TempFile file(tiff);
  for (LONG_PTR offset : {LONG_PTR{0}, LONG_PTR{128}, LONG_PTR{-5}}) {
    susie::PictureInfo info{};
    EXPECT_EQ(plugin.GetPictureInfo(file.AnsiPath().c_str(), offset, 0, &info), 0) << offset;
    EXPECT_EQ(info.width, 4);
    HLOCAL a = nullptr, b = nullptr;
    ASSERT_EQ(plugin.GetPictureW(file.Path().c_str(), offset, 0, &a, &b, nullptr, 0), 0) << offset;
    LocalFree(a);
    LocalFree(b);
  }
}

TEST_F(Exports, NegativeOrHugeMemoryLengthsAreRefused) {
  const auto* bytes = reinterpret_cast<LPCSTR>(tiff.data());
  susie::PictureInfo info{};
  HLOCAL a = nullptr, b = nullptr;
  EXPECT_EQ(plugin.GetPictureInfo(bytes, -1, 1, &info), 8);
  EXPECT_EQ(plugin.GetPicture(bytes, -100, 1, &a, &b, nullptr, 0), 8);
#if defined(_WIN64)
  EXPECT_EQ(plugin.GetPictureInfo(bytes, LONG_PTR{1} << 32, 1, &info), 8);
  EXPECT_EQ(plugin.GetPicture(bytes, (LONG_PTR{1} << 32) | 200, 1, &a, &b, nullptr, 0), 8)
      << "must not be truncated to a small count";
#endif
  EXPECT_EQ(a, nullptr);
}

struct Reports {
  std::vector<int> numerators;
  std::vector<APTTYPE> apartments;
  std::vector<bool> comReady;
  int stopAt = -1;
  LONG_PTR seenData = 0;
};
Reports* gReports = nullptr;
constexpr LONG_PTR kHostData = static_cast<LONG_PTR>(sizeof(void*) == 8 ? 0x123456789ABCDEF0ull : 0x12345678u);

int WINAPI Record(int numerator, int denominator, LONG_PTR data) {
  EXPECT_EQ(denominator, 100);
  gReports->numerators.push_back(numerator);
  gReports->seenData = data;
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  gReports->comReady.push_back(SUCCEEDED(CoGetApartmentType(&type, &qualifier)));
  return numerator == gReports->stopAt ? 1 : 0;
}

TEST_F(Exports, StoppingAtTheFirstReportTouchesNeitherComNorTheFile) {
  Reports reports;
  reports.stopAt = 0;
  gReports = &reports;
  HLOCAL a = nullptr, b = nullptr;
  EXPECT_EQ(plugin.GetPictureW(L"Z:\\no\\such\\picture.tif", 0, 0, &a, &b, Record, kHostData), 1)
      << "a missing file would give 8 if it were opened";
  EXPECT_EQ(reports.numerators, std::vector<int>{0});
  EXPECT_EQ(reports.comReady, std::vector<bool>{false});
  EXPECT_EQ(reports.seenData, kHostData);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
}

TEST_F(Exports, StoppingAtTenGivesAbortedAfterTheDecoderWasMade) {
  Reports reports;
  reports.stopAt = 10;
  gReports = &reports;
  HLOCAL a = nullptr, b = nullptr;
  EXPECT_EQ(plugin.GetPicture(reinterpret_cast<LPCSTR>(tiff.data()), tiff.size(), 1, &a, &b, Record, kHostData), 1);
  EXPECT_EQ(reports.numerators, (std::vector<int>{0, 10}));
  EXPECT_EQ(reports.comReady, (std::vector<bool>{false, true}));
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
}

TEST_F(Exports, WithoutACallbackThePictureIsDecodedSilently) {
  HLOCAL a = nullptr, b = nullptr;
  ASSERT_EQ(plugin.GetPicture(reinterpret_cast<LPCSTR>(tiff.data()), tiff.size(), 1, &a, &b, nullptr, 0), 0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  LocalFree(a);
  LocalFree(b);
}

TEST_F(Exports, OtherContainersAndNonImagesAreUnknownFormatsInBothModes) {
  const std::vector<std::uint8_t> garbage(3000, 0x42);
  for (const auto& bytes : {testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.png"),
                            testsupport::ReadFileBytes(testsupport::DataFolder() + L"not-tiff.jpg"), garbage}) {
    ASSERT_FALSE(bytes.empty());
    const TempFile file(bytes);
    susie::PictureInfo info{};
    std::memset(&info, 0x77, sizeof(info));
    const susie::PictureInfo before = info;
    EXPECT_EQ(plugin.GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &info), 2);
    EXPECT_EQ(plugin.GetPictureInfoW(file.Path().c_str(), 0, 0, &info), 2);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0) << "the record is left untouched";
    HLOCAL a = Sentinel(1), b = Sentinel(2);
    EXPECT_EQ(plugin.GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), bytes.size(), 1, &a, &b, nullptr, 0), 2);
    EXPECT_EQ(plugin.GetPicture(file.AnsiPath().c_str(), 0, 0, &a, &b, nullptr, 0), 2);
    EXPECT_EQ(a, Sentinel(1));
    EXPECT_EQ(b, Sentinel(2));
  }
}

TEST_F(Exports, AnsiAndWideFileNamesDecodeTheSamePicture) {
  const TempFile file(tiff);
  HLOCAL a1 = nullptr, b1 = nullptr, a2 = nullptr, b2 = nullptr;
  ASSERT_EQ(plugin.GetPicture(file.AnsiPath().c_str(), 0, 0, &a1, &b1, nullptr, 0), 0);
  ASSERT_EQ(plugin.GetPictureW(file.Path().c_str(), 0, 0, &a2, &b2, nullptr, 0), 0);
  ASSERT_EQ(LocalSize(a1), LocalSize(a2));
  EXPECT_EQ(std::memcmp(LocalLock(a1), LocalLock(a2), LocalSize(a1)), 0);
  EXPECT_EQ(std::memcmp(LocalLock(b1), LocalLock(b2), 3 * 12), 0);
  for (HLOCAL h : {a1, b1, a2, b2}) {
    LocalUnlock(h);
    LocalFree(h);
  }
  EXPECT_EQ(plugin.GetPicture("", 0, 0, &a1, &b1, nullptr, 0), 8) << "an empty name reaches the session";
}

}  // namespace
