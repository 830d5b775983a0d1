// TransformForTag: the eight tag values as a table.
#include "decode/Orientation.h"


namespace quorvel {
namespace {

// The rotation runs on the top-down rows first; keepTopDownRows then skips the bottom-up
// flip, a vertical mirror. So 2 = half turn + mirror = left-right mirror, 5 = three
// quarter turns + mirror = transpose, 7 = one quarter turn + mirror = transverse.
constexpr OrientationTransform kByTag[9] = {
    {0, false},  // 0: not a valid tag
    {0, false},  // 1: upright
    {2, true},   // 2: mirrored left to right
    {2, false},  // 3: upside down
    {0, true},   // 4: mirrored top to bottom
    {3, true},   // 5: transposed
    {1, false},  // 6: needs a quarter turn clockwise
    {1, true},   // 7: transverse
    {3, false},  // 8: needs a quarter turn counter-clockwise
};

}  // namespace

OrientationTransform TransformForTag(std::uint32_t tag) noexcept {
  return tag < 9 ? kByTag[tag] : OrientationTransform{};
}

}  // namespace quorvel
