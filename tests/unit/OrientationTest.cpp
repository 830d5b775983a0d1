// Reading the orientation tag through the frame's metadata query reader, and the eight
// values as quarter turns plus the kept row order.
#include <gtest/gtest.h>

#include "FakeWic.h"
#include "common/Owners.h"
#include "decode/Orientation.h"
#include "decode/PixelFormatGuids.h"

namespace quorvel {
namespace {

using testsupport::FakeCounters;
using testsupport::FakeFrameSetup;
using testsupport::OrientationValue;

struct Expected {
  std::uint32_t rotation;
  bool keepTopDownRows;
};

OrientationTransform ReadFrom(const FakeFrameSetup& setup, FakeCounters& counters) {
  ComPtr<IWICBitmapDecoder> decoder;
  *decoder.Put() = testsupport::MakeFakeDecoder(setup, counters);
  ComPtr<IWICBitmapFrameDecode> frame;
  EXPECT_EQ(decoder->GetFrame(0, frame.Put()), S_OK);
  return ReadOrientation(frame.Get());
}

TEST(Orientation, EachTagValueIsAQuarterTurnCountAndARowOrder) {
  const Expected table[10] = {{0, false}, {0, false}, {2, true}, {2, false}, {0, true},
                              {3, true},  {1, false}, {1, true}, {3, false}, {0, false}};
  for (std::uint32_t tag = 0; tag < 10; ++tag) {
    const OrientationTransform t = TransformForTag(tag);
    EXPECT_EQ(t.rotation, table[tag].rotation) << tag;
    EXPECT_EQ(t.keepTopDownRows, table[tag].keepTopDownRows) << tag;
  }
  EXPECT_EQ(TransformForTag(0xFFFF).rotation, 0u);
  EXPECT_EQ(TransformForTag(0xFFFFFFFF).keepTopDownRows, false);
}

TEST(Orientation, TheTagIsReadAsAnUnsignedShortOnly) {
  FakeCounters counters;
  FakeFrameSetup setup;
  setup.format = kPixelFormat8bppGray;
  for (std::uint32_t tag = 1; tag <= 8; ++tag) {
    setup.orientation = OrientationValue(VT_UI2, tag);
    const OrientationTransform t = ReadFrom(setup, counters);
    EXPECT_EQ(t.rotation, TransformForTag(tag).rotation) << tag;
    EXPECT_EQ(t.keepTopDownRows, TransformForTag(tag).keepTopDownRows) << tag;
  }
  for (VARTYPE type : {VARTYPE(VT_UI4), VARTYPE(VT_I2), VARTYPE(VT_UI1), VARTYPE(VT_EMPTY)}) {
    setup.orientation = OrientationValue(type, 6);
    EXPECT_EQ(ReadFrom(setup, counters).rotation, 0u) << "type " << type;
  }
  for (std::uint32_t tag : {0u, 9u, 0xFFFFu}) {
    setup.orientation = OrientationValue(VT_UI2, tag);
    const OrientationTransform t = ReadFrom(setup, counters);
    EXPECT_EQ(t.rotation, 0u);
    EXPECT_FALSE(t.keepTopDownRows);
  }
  setup.orientation.reset();
  EXPECT_EQ(ReadFrom(setup, counters).rotation, 0u) << "no tag";
  setup.noMetadataReader = true;
  EXPECT_EQ(ReadFrom(setup, counters).rotation, 0u) << "no metadata at all";
  EXPECT_EQ(counters.liveObjects, 0) << "every reader and frame released";
  EXPECT_EQ(ReadOrientation(nullptr).rotation, 0u);
}

}  // namespace
}  // namespace quorvel
