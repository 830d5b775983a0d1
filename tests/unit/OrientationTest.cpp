// The eight values of the orientation tag as quarter turns plus the kept row order (how
// the tag is read from the file: TiffDirectoryTest).
#include <gtest/gtest.h>

#include "decode/Orientation.h"

namespace quorvel {
namespace {

struct Expected {
  std::uint32_t rotation;
  bool keepTopDownRows;
};

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

}  // namespace
}  // namespace quorvel
