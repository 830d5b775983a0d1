// The settings dialog driven for real under a display: its first state, the colour
// chooser and the history rule, the enabling rule, what OK and Cancel write, the
// painting of the colour buttons, and the about box.
#include <gtest/gtest.h>

#include <array>
#include <atomic>

#include "GuiDriver.h"
#include "Plugin.h"
#include "TestEnvironment.h"
#include "resource.h"

namespace {

using hostkit::Plugin;
using testsupport::CleanSettings;

constexpr COLORREF kDefaultHistory[8] = {0x808080, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000};
constexpr int kColorRed = 706, kColorGreen = 707, kColorBlue = 708;  // the chooser's edit fields (colordlg.h)

// The dialog opened by ConfigurationDlg(…, 1) on a host thread of its own.
class OpenDialog {
 public:
  explicit OpenDialog(const Plugin& plugin)
      : host_([this, &plugin] { result_ = plugin.ConfigurationDlg(nullptr, 1); }) {
    window_ = gui::WaitFor([] { return gui::FindDialog(hostkit::kPluginName); });
    if (window_) gui::Settle(window_);
  }
  ~OpenDialog() {
    if (window_ && IsWindow(window_)) PostMessageW(window_, WM_COMMAND, IDCANCEL, 0);
  }
  HWND Window() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  int Finish() {
    gui::WaitGone(window_);
    host_.Join();
    return result_;
  }
  // Opens the colour chooser, types the colour into it and confirms (or cancels) it.
  void Choose(COLORREF color, bool confirm = true) {
    gui::Click(window_, IDC_CHOOSE_COLOR);
    HWND chooser = gui::WaitFor([this] { return gui::FindDialog(L"", window_); });
    ASSERT_NE(chooser, nullptr) << "the colour chooser opens, owned by the dialog";
    SetDlgItemInt(chooser, kColorRed, GetRValue(color), FALSE);
    SetDlgItemInt(chooser, kColorGreen, GetGValue(color), FALSE);
    SetDlgItemInt(chooser, kColorBlue, GetBValue(color), FALSE);
    gui::Click(chooser, confirm ? IDOK : IDCANCEL);
    ASSERT_TRUE(gui::WaitGone(chooser));
    gui::Settle(window_);
  }
  std::array<COLORREF, 8> PaintedHistory() const {
    std::array<COLORREF, 8> colors{};
    for (int i = 0; i < 8; ++i) colors[i] = gui::ColorAtCentre(Item(IDC_HISTORY1 + i));
    return colors;
  }
  COLORREF PaintedSwatch() const { return gui::ColorAtCentre(Item(IDC_COLOR_SWATCH)); }

 private:
  std::atomic<int> result_{-100};
  gui::HostThread host_;
  HWND window_ = nullptr;
};

std::array<COLORREF, 8> History(std::initializer_list<COLORREF> colors) {
  std::array<COLORREF, 8> out{};
  std::copy(colors.begin(), colors.end(), out.begin());
  return out;
}

class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()); }
  CleanSettings settings;
  Plugin plugin;
};

TEST_F(SettingsDialog, OpensWithTheDefaultsWhenThereAreNoSettings) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr) << "the dialog appears with the plug-in's file name as caption";
  gui::SaveScreenshot(dialog.Window(), hostkit::ProgramFolder() + L"settings-dialog.png");
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_ALPHA_COMPOSITE), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_ALPHA_REMOVE), BST_UNCHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_USE_EXIF_ORIENTATION), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_CHOOSE_COLOR)));
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_HISTORY1 + i)));
  EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_COLOR_SWATCH)));
  EXPECT_EQ(dialog.PaintedSwatch(), 0xFFFFFFu);
  EXPECT_EQ(dialog.PaintedHistory(), History({0x808080, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000}));
  // The frame of each colour button is drawn in the button-shadow colour.
  EXPECT_EQ(gui::ColorAt(dialog.Item(IDC_HISTORY1), 0, 5), GetSysColor(COLOR_BTNSHADOW));
  PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(dialog.Finish(), 0) << "Cancel is a successful run of the dialog";
  EXPECT_FALSE(settings.KeyExists()) << "nothing written";
}

}  // namespace
