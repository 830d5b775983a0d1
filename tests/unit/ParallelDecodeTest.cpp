// Large pictures shared out among decoders: the rows split into whole strips, and the
// picture the decoders deliver together identical, byte for byte, to the one a single
// decoder delivers, over every kind of picture, orientation, strip layout and input mode;
// a failing decoder gives the sequential answer. The size threshold is forced low here.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "TiffFixtures.h"
#include "decode/BandSplit.h"
#include "decode/LoadPicture.h"
#include "decode/ParallelDecode.h"

namespace quorvel {
namespace {

std::string Show(const std::vector<RowRange>& ranges) {
  std::string s;
  for (const RowRange& r : ranges) s += std::to_string(r.begin) + "-" + std::to_string(r.end) + " ";
  return s;
}

TEST(BandSplit, SharesWholeStripsOutEvenlyAndCoversEveryRow) {
  const BandSplitLimits limits{100, 8};
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 100, 10, 2, limits)), "0-50 50-100 ");
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 100, 10, 3, limits)), "0-40 40-70 70-100 ");
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 95, 10, 4, limits)), "0-30 30-60 60-80 80-95 ") << "a short last strip";
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 30, 10, 8, limits)), "0-10 10-20 20-30 ") << "no more decoders than strips";
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 100, 1, 16, limits)), "0-13 13-26 26-39 39-52 52-64 64-76 76-88 88-100 ")
      << "at most eight decoders";
}

TEST(BandSplit, KeepsPicturesWholeWhereSharingCannotPay) {
  const BandSplitLimits limits{1000, 8};
  EXPECT_EQ(Show(SplitRowsIntoBands(10, 99, 1, 2, limits)), "0-99 ") << "below the threshold";
  EXPECT_EQ(Show(SplitRowsIntoBands(100, 100, 0, 2, limits)), "0-100 ") << "one strip, or the file does not say";
  EXPECT_EQ(Show(SplitRowsIntoBands(100, 100, 100, 2, limits)), "0-100 ");
  EXPECT_EQ(Show(SplitRowsIntoBands(100, 100, 0xFFFFFFFFu, 2, limits)), "0-100 ") << "TIFF's default rows per strip";
  EXPECT_EQ(Show(SplitRowsIntoBands(100, 100, 10, 1, limits)), "0-100 ") << "one processor";
  EXPECT_TRUE(SplitRowsIntoBands(100, 0, 10, 2, limits).empty());
}

// The whole delivered picture: header, palette, pixels and padding.
struct Delivered {
  ResultCode result = kResultInternalError;
  std::vector<std::uint8_t> info, bits;
};

Delivered Decode(const ImageSource& source, const PictureOptions& options = {}) {
  Delivered d;
  HLOCAL info = nullptr, bits = nullptr;
  d.result = LoadPicture(source, options, &info, &bits, Progress(nullptr, 0));
  for (auto [handle, bytes] : {std::pair{info, &d.info}, std::pair{bits, &d.bits}})
    if (handle) {
      const auto* p = static_cast<const std::uint8_t*>(handle);
      bytes->assign(p, p + LocalSize(handle));
      LocalFree(handle);
    }
  return d;
}

class ParallelDecode : public testing::Test {
 protected:
  void SetUp() override {
    tuning_.limits.minPixels = 0;
    tuning_.decoders = 0;
    tuning_.startWorker = nullptr;
  }
  void TearDown() override {
    tuning_.limits = BandSplitLimits{};
    tuning_.decoders = 0;
    tuning_.startWorker = nullptr;
  }
  // The picture decoded alone and shared out among `decoders`; both must agree.
  void ExpectSameAsAlone(const ImageSource& source, const std::string& what, std::uint32_t decoders,
                         const PictureOptions& options = {}) {
    tuning_.limits.minPixels = ~0ull;
    const Delivered alone = Decode(source, options);
    tuning_.limits.minPixels = 0;
    tuning_.decoders = decoders;
    const unsigned before = tuning_.sharedOut.load();
    const Delivered shared = Decode(source, options);
    EXPECT_EQ(shared.result, alone.result) << what;
    EXPECT_TRUE(shared.info == alone.info) << what << ": the headers differ";
    EXPECT_TRUE(shared.bits == alone.bits) << what << ": the pixels differ";
    if (alone.result == kResultSuccess) {
      EXPECT_EQ(tuning_.sharedOut.load(), before + 1) << what << ": not shared out";
    }
  }
  ParallelDecodeTuning& tuning_ = ParallelDecodeTuningForTests();
};

TEST_F(ParallelDecode, EveryKindInEveryOrientationComesOutAsOneDecoderDeliversIt) {
  for (testsupport::TiffFixture f : testsupport::AllTiffFixtures(29, 23)) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      f.page.orientation = orientation;
      f.page.rowsPerStrip = orientation % 2 ? 2 : 5;
      f.page.compression = orientation <= 4 ? 1 : 5;
      const auto bytes = testsupport::WriteTiff(f.page);
      ExpectSameAsAlone(ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size())),
                        f.name + " orientation " + std::to_string(orientation), orientation % 2 + 2);
    }
  }
}

TEST_F(ParallelDecode, EveryOptionComesOutAsOneDecoderDeliversIt) {
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 31, 40);
  f.page.rowsPerStrip = 3;
  f.page.orientation = 6;
  const auto bytes = testsupport::WriteTiff(f.page);
  const ImageSource memory = ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size()));
  PictureOptions options;
  options.compositeAlpha = false;
  options.applyOrientation = false;
  ExpectSameAsAlone(memory, "alpha removed, unturned", 3, options);
  options.compositeAlpha = true;
  options.background = BackgroundColor{0x10, 0x80, 0xF0};
  ExpectSameAsAlone(memory, "on a colour", 3, options);
}

// Each extra decoder opens the file by name.
TEST_F(ParallelDecode, FilesStripedAndTiledComeOutAsOneDecoderDeliversThem) {
  const std::wstring tiled = testsupport::DataFolder() + L"lt-grey-tiled-packbits-orient8.tif";
  ExpectSameAsAlone(ImageSource::File(tiled.c_str()), "tiled", 2);
  for (const char* name : {"rgb8", "palette8", "rgba8", "grey16"})
    for (int orientation : {1, 6}) {
      testsupport::TiffFixture f = testsupport::TiffFixtureNamed(name, 29, 23);
      f.page.orientation = orientation;
      f.page.rowsPerStrip = 4;
      f.page.compression = 5;
      const testsupport::TempFile file(testsupport::WriteTiff(f.page));
      ExpectSameAsAlone(ImageSource::File(file.Path().c_str()), f.name + " orientation " + std::to_string(orientation), 2);
    }
}

HRESULT FailSecond(std::uint32_t index) { return index == 2 ? E_OUTOFMEMORY : S_OK; }

TEST_F(ParallelDecode, AFailingDecoderGivesTheSequentialAnswer) {
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("rgb8", 40, 60);
  f.page.rowsPerStrip = 4;
  f.page.orientation = 8;
  const auto bytes = testsupport::WriteTiff(f.page);
  const ImageSource memory = ImageSource::Memory(bytes.data(), static_cast<LONG_PTR>(bytes.size()));
  tuning_.limits.minPixels = ~0ull;
  const Delivered alone = Decode(memory);
  ASSERT_EQ(alone.result, kResultSuccess);

  tuning_.limits.minPixels = 0;
  tuning_.decoders = 3;
  tuning_.startWorker = FailSecond;
  const unsigned gaveUp = tuning_.gaveUp.load(), shared = tuning_.sharedOut.load();
  const Delivered d = Decode(memory);
  EXPECT_EQ(d.result, kResultSuccess);
  EXPECT_TRUE(d.bits == alone.bits && d.info == alone.info);
  EXPECT_EQ(tuning_.gaveUp.load(), gaveUp + 1);
  EXPECT_EQ(tuning_.sharedOut.load(), shared);

  // A file the extra decoders cannot open the same way: the same answer too.
  const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
  tuning_.startWorker = nullptr;
  tuning_.limits.minPixels = ~0ull;
  const Delivered cutAlone = Decode(ImageSource::Memory(cut.data(), static_cast<LONG_PTR>(cut.size())));
  tuning_.limits.minPixels = 0;
  const Delivered cutShared = Decode(ImageSource::Memory(cut.data(), static_cast<LONG_PTR>(cut.size())));
  EXPECT_EQ(cutShared.result, cutAlone.result);
  EXPECT_TRUE(cutShared.bits == cutAlone.bits);
}

}  // namespace
}  // namespace quorvel
