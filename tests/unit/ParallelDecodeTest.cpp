// Large pictures shared out among decoders: the rows split into whole strips, and the
// picture the decoders deliver together identical, byte for byte, to the one a single
// decoder delivers, over every kind of picture, orientation, strip layout and input mode;
// a failing decoder gives the sequential answer. The size threshold is forced low here.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "LocalAllocationCounter.h"
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

// Tiles of several shapes, over pictures whose size is no multiple of them: shared out by
// rows of tiles, and decoded alone, the picture is the one its striped twin gives.
TEST_F(ParallelDecode, TiledPicturesOfEveryKindComeOutAsTheirStripedTwins) {
  const std::pair<std::uint32_t, std::uint32_t> shapes[] = {{16, 16}, {32, 16}, {16, 48}};
  int index = 0;
  for (testsupport::TiffFixture f : testsupport::AllTiffFixtures(53, 70)) {
    for (int orientation = 1; orientation <= 8; ++orientation, ++index) {
      f.page.orientation = orientation;
      f.page.compression = index % 2 ? 5 : 1;
      f.page.rowsPerStrip = 7;
      f.page.tileWidth = f.page.tileLength = 0;
      const auto striped = testsupport::WriteTiff(f.page);
      std::tie(f.page.tileWidth, f.page.tileLength) = shapes[index % 3];
      const auto tiled = testsupport::WriteTiff(f.page);
      const std::string what = f.name + " orientation " + std::to_string(orientation) + ", tiles " +
                               std::to_string(f.page.tileWidth) + " x " + std::to_string(f.page.tileLength);
      const ImageSource tiles = ImageSource::Memory(tiled.data(), static_cast<LONG_PTR>(tiled.size()));
      ExpectSameAsAlone(tiles, what, index % 2 + 2);
      tuning_.limits.minPixels = ~0ull;
      const Delivered a = Decode(ImageSource::Memory(striped.data(), static_cast<LONG_PTR>(striped.size())));
      const Delivered b = Decode(tiles);
      EXPECT_EQ(a.result, b.result) << what;
      EXPECT_TRUE(a.info == b.info && a.bits == b.bits) << what << ": not the striped picture";
    }
  }
}

// Wide enough that a band is shorter than a row of tiles: each read of whole tile rows is
// written into place a band at a time.
TEST_F(ParallelDecode, WideTiledPicturesAreWrittenABandAtATimeFromEachRowOfTiles) {
  // Unturned bands are 16 rows here, turned ones 192.
  for (const auto& [tile, orientation] :
       {std::pair{64u, 1}, std::pair{64u, 2}, std::pair{256u, 6}, std::pair{256u, 7}}) {
    testsupport::TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 4000, 300);
    f.page.orientation = orientation;
    f.page.rowsPerStrip = 10;
    const auto striped = testsupport::WriteTiff(f.page);
    f.page.tileWidth = f.page.tileLength = tile;
    const auto tiled = testsupport::WriteTiff(f.page);
    const std::string what = "tiles " + std::to_string(tile) + ", orientation " + std::to_string(orientation);
    tuning_.limits.minPixels = ~0ull;
    const Delivered a = Decode(ImageSource::Memory(striped.data(), static_cast<LONG_PTR>(striped.size())));
    const ImageSource tiles = ImageSource::Memory(tiled.data(), static_cast<LONG_PTR>(tiled.size()));
    const Delivered b = Decode(tiles);
    ASSERT_EQ(a.result, kResultSuccess) << what;
    EXPECT_EQ(b.result, kResultSuccess) << what;
    EXPECT_TRUE(a.info == b.info && a.bits == b.bits) << what << ": not the striped picture";
    ExpectSameAsAlone(tiles, what, 2);
  }
}

// A row of tiles that does not fit where a band does: read a band at a time instead, and
// the same picture.
TEST_F(ParallelDecode, ARowOfTilesThatCannotBeHeldIsReadABandAtATime) {
  ASSERT_TRUE(hostkit::LocalAllocationCounter::Install(GetModuleHandleW(nullptr)));
  testsupport::TiffFixture f = testsupport::TiffFixtureNamed("rgba8", 4000, 300);
  f.page.rowsPerStrip = 10;
  const auto striped = testsupport::WriteTiff(f.page);
  f.page.tileWidth = f.page.tileLength = 256;
  const auto tiled = testsupport::WriteTiff(f.page);
  tuning_.limits.minPixels = ~0ull;
  const Delivered a = Decode(ImageSource::Memory(striped.data(), static_cast<LONG_PTR>(striped.size())));
  // The delivered block is 3.6 MB, a row of 256 source rows 4.1 MB.
  hostkit::LocalAllocationCounter::RefuseBlocksFrom(4'000'000);
  const Delivered b = Decode(ImageSource::Memory(tiled.data(), static_cast<LONG_PTR>(tiled.size())));
  hostkit::LocalAllocationCounter::RefuseBlocksFrom(0);
  ASSERT_EQ(a.result, kResultSuccess);
  EXPECT_EQ(b.result, kResultSuccess);
  EXPECT_TRUE(a.info == b.info && a.bits == b.bits);
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
