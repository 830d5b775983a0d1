// The settings dialog's history rule, as a pure function of its state.
#include <gtest/gtest.h>

#include "settings/SettingsDialog.h"

namespace quorvel {
namespace {

TEST(ColorHistory, ReplacedColoursMoveToTheFrontWithoutRepeats) {
  SettingsDialogState s;  // white, default history
  EXPECT_TRUE(SelectColor(s, 0x0000FF));
  EXPECT_EQ(s.currentColor, 0x0000FFu);
  EXPECT_EQ(s.history, (ColorHistory{0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000}));
  EXPECT_FALSE(SelectColor(s, 0x0000FF)) << "the current colour changes nothing";
  EXPECT_TRUE(SelectColor(s, 0x000000));  // the last slot
  EXPECT_EQ(s.history, (ColorHistory{0x0000FF, 0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));
  EXPECT_TRUE(SelectColor(s, 0x0000FF));  // slot 0 swaps with the current colour
  EXPECT_EQ(s.currentColor, 0x0000FFu);
  EXPECT_EQ(s.history[0], 0x000000u);
  EXPECT_EQ(s.history[1], 0xFFFFFFu);
}

TEST(ColorHistory, ALoadedHistoryWithRepeatsIsKeptAsItIs) {
  SettingsDialogState s;
  s.currentColor = 0x111111;
  s.history = {0x111111, 0x222222, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777};
  EXPECT_TRUE(SelectColor(s, 0x222222));  // the first repeat leaves; the second stays
  EXPECT_EQ(s.history, (ColorHistory{0x111111, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777}));
}

}  // namespace
}  // namespace quorvel
