// The settings dialog driven for real under a display: its first state, the colour
// chooser and the history rule, the enabling rule, what OK and Cancel write, the
// painting of the colour buttons, and the about box.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <vector>

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

std::vector<std::uint8_t> Bytes(const CleanSettings& settings, const wchar_t* name, DWORD* type = nullptr) {
  DWORD t = 0;
  std::vector<std::uint8_t> bytes;
  if (!settings.Get(name, t, bytes)) return {};
  if (type) *type = t;
  return bytes;
}

std::vector<std::uint8_t> AsBytes(std::initializer_list<COLORREF> colors) {
  std::vector<std::uint8_t> out;
  for (COLORREF c : colors)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(c >> (8 * i)));
  return out;
}

TEST_F(SettingsDialog, ChoosingColoursKeepsAHistoryOfTheReplacedOnes) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  dialog.Choose(0x0000FF);  // red, already in the history: it leaves it
  EXPECT_EQ(dialog.PaintedSwatch(), 0x0000FFu);
  EXPECT_EQ(dialog.PaintedHistory(), History({0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000}));
  DWORD type = 0;
  EXPECT_EQ(Bytes(settings, L"CustomColors", &type).size(), 64u) << "saved when the chooser closed";
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_FALSE(settings.GetDword(L"Color", type)) << "nothing else before OK";

  dialog.Choose(0x123456);  // new: the last slot drops out
  EXPECT_EQ(dialog.PaintedSwatch(), 0x123456u);
  EXPECT_EQ(dialog.PaintedHistory(), History({0x0000FF, 0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));

  gui::Click(dialog.Window(), IDC_HISTORY1);  // slot 0 swaps with the current colour
  gui::Settle(dialog.Window());
  EXPECT_EQ(dialog.PaintedSwatch(), 0x0000FFu);
  EXPECT_EQ(dialog.PaintedHistory(), History({0x123456, 0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));

  dialog.Choose(0x0000FF);  // the current colour again: nothing changes
  EXPECT_EQ(dialog.PaintedHistory(), History({0x123456, 0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));

  gui::Click(dialog.Window(), IDOK);
  EXPECT_EQ(dialog.Finish(), 0);
  DWORD value = 0;
  EXPECT_TRUE(settings.GetDword(L"Color", value));
  EXPECT_EQ(value, 0x0000FFu);
  EXPECT_EQ(Bytes(settings, L"ColorHistory", &type),
            AsBytes({0x123456, 0xFFFFFF, 0x808080, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(settings.GetDword(L"Alpha", value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(settings.GetDword(L"exif_orientation", value));
  EXPECT_EQ(value, 1u);
}

TEST_F(SettingsDialog, NewColoursFromTheFirstStateDropTheLastSlot) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  dialog.Choose(0x123456);
  EXPECT_EQ(dialog.PaintedHistory(), History({0xFFFFFF, 0x808080, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));
  gui::Click(dialog.Window(), IDC_HISTORY1);
  gui::Settle(dialog.Window());
  EXPECT_EQ(dialog.PaintedSwatch(), 0xFFFFFFu);
  EXPECT_EQ(dialog.PaintedHistory(), History({0x123456, 0x808080, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF}));
  dialog.Choose(0x00FF00, false);  // cancelled in the chooser: no change, custom colours still saved
  EXPECT_EQ(dialog.PaintedSwatch(), 0xFFFFFFu);
  settings.SetRaw(L"CustomColors", REG_BINARY, nullptr, 0);
  dialog.Choose(0x00FF00, false);
  EXPECT_EQ(Bytes(settings, L"CustomColors").size(), 64u);
}

TEST_F(SettingsDialog, TheRemovalRadioDisablesTheColourControlsAndOkWritesEverything) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  gui::Click(dialog.Window(), IDC_ALPHA_REMOVE);
  gui::Settle(dialog.Window());
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_ALPHA_REMOVE), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_CHOOSE_COLOR)));
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_HISTORY1 + i)));
  EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_COLOR_SWATCH)));
  EXPECT_EQ(dialog.PaintedHistory()[1], 0x0000FFu) << "disabled buttons keep their colours";
  gui::Click(dialog.Window(), IDC_ALPHA_COMPOSITE);
  gui::Settle(dialog.Window());
  EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_CHOOSE_COLOR)));
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_HISTORY1 + i)));
  EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_COLOR_SWATCH))) << "the swatch is never enabled";
  gui::Click(dialog.Window(), IDC_ALPHA_REMOVE);
  gui::Click(dialog.Window(), IDC_USE_EXIF_ORIENTATION);
  gui::Settle(dialog.Window());
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_USE_EXIF_ORIENTATION), BST_UNCHECKED);
  gui::Click(dialog.Window(), IDOK);
  EXPECT_EQ(dialog.Finish(), 0);
  DWORD value = 99;
  EXPECT_TRUE(settings.GetDword(L"Alpha", value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(settings.GetDword(L"exif_orientation", value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(settings.GetDword(L"Color", value));
  EXPECT_EQ(value, 0xFFFFFFu);
  EXPECT_EQ(Bytes(settings, L"ColorHistory"), AsBytes({0x808080, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000}));
  EXPECT_TRUE(Bytes(settings, L"CustomColors").empty()) << "the chooser was never opened";
}

TEST_F(SettingsDialog, CancelWritesNothingButTheChoosersCustomColours) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  dialog.Choose(0x00FFFF);
  gui::Click(dialog.Window(), IDCANCEL);
  EXPECT_EQ(dialog.Finish(), 0);
  DWORD value = 0;
  EXPECT_FALSE(settings.GetDword(L"Color", value));
  EXPECT_FALSE(settings.GetDword(L"Alpha", value));
  EXPECT_TRUE(Bytes(settings, L"ColorHistory").empty());
  EXPECT_EQ(Bytes(settings, L"CustomColors").size(), 64u);
}

TEST_F(SettingsDialog, StoredSettingsAreShownAndMalformedOnesSavedBackSound) {
  settings.SetDword(L"Alpha", 5);
  settings.SetDword(L"Color", 0x00336699);
  settings.SetDword(L"exif_orientation", 0);
  const auto history = AsBytes({0x111111, 0x222222, 0x333333});  // 12 bytes: the rest stay default
  settings.SetRaw(L"ColorHistory", REG_BINARY, history.data(), static_cast<DWORD>(history.size()));
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_ALPHA_COMPOSITE), BST_CHECKED) << "any value but 0 shows compositing";
  EXPECT_EQ(IsDlgButtonChecked(dialog.Window(), IDC_USE_EXIF_ORIENTATION), BST_UNCHECKED);
  EXPECT_EQ(dialog.PaintedSwatch(), 0x00336699u);
  EXPECT_EQ(dialog.PaintedHistory(), History({0x111111, 0x222222, 0x333333, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x000000}));
  gui::Click(dialog.Window(), IDOK);
  EXPECT_EQ(dialog.Finish(), 0);
  DWORD value = 0;
  EXPECT_TRUE(settings.GetDword(L"Alpha", value));
  EXPECT_EQ(value, 1u) << "saved back as 1";
}

TEST_F(SettingsDialog, AFocusedColourButtonShowsADottedOutline) {
  OpenDialog dialog(plugin);
  ASSERT_NE(dialog.Window(), nullptr);
  HWND slot0 = dialog.Item(IDC_HISTORY1);  // grey
  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(slot0), TRUE);
  gui::Settle(dialog.Window());
  RECT r{};
  GetClientRect(slot0, &r);
  const COLORREF text = GetSysColor(COLOR_BTNTEXT);
  EXPECT_EQ(gui::ColorAt(slot0, r.left + 3, r.top + 3), text) << "the outline starts at (left + 3, top + 3)";
  EXPECT_EQ(gui::ColorAt(slot0, r.right - 4, r.bottom - 4), text) << "and runs through (right - 4, bottom - 4)";
  EXPECT_EQ(gui::ColorAtCentre(slot0), 0x808080u) << "inside it the colour shows";
  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Item(IDOK)), TRUE);
  gui::Settle(dialog.Window());
  EXPECT_EQ(gui::ColorAt(slot0, r.left + 3, r.top + 3), 0x808080u) << "without focus, no outline";
}

// The host's own window, destroyed by a timer on the host's thread the moment the
// colour chooser is up: destroying the owner destroys the settings dialog under the
// chooser's message loop. The freed memory is then filled, so that anything still read
// from the dialog's state after the chooser returns is garbage: likely enough to crash a
// handler that still reads it (it did), though the heap gives no guarantee of reuse.
struct OwnerGoesWhileChoosing {
  static inline std::atomic<HWND> owner{nullptr};
  static inline std::atomic<bool> destroyed{false};
  static inline std::vector<std::vector<std::uint8_t>> filler;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = gui::FindDialog(hostkit::kPluginName, owner);
    if (dialog == nullptr || gui::FindDialog(L"", dialog) == nullptr) return;
    KillTimer(nullptr, id);
    DestroyWindow(owner);
    destroyed = true;
    for (std::size_t size = 16; size <= 256; size += 8)
      for (int i = 0; i < 8; ++i) filler.emplace_back(size, std::uint8_t{0xEE});
  }
};

TEST_F(SettingsDialog, TheHostDestroyingItsWindowWhileTheChooserIsOpenEndsEverythingCleanly) {
  std::atomic<int> result{-100};
  {
    gui::HostThread host([&] {
      OwnerGoesWhileChoosing::owner = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                                      200, 100, nullptr, nullptr, nullptr, nullptr);
      SetTimer(nullptr, 0, 50, &OwnerGoesWhileChoosing::Tick);
      result = plugin.ConfigurationDlg(OwnerGoesWhileChoosing::owner, 1);
    });
    HWND dialog = gui::WaitFor([] { return gui::FindDialog(hostkit::kPluginName); });
    ASSERT_NE(dialog, nullptr);
    gui::Click(dialog, IDC_CHOOSE_COLOR);
    EXPECT_TRUE(gui::WaitGone(dialog)) << "the dialog goes with its owner";
  }
  EXPECT_TRUE(OwnerGoesWhileChoosing::destroyed) << "the owner went while the chooser was open";
  EXPECT_NE(result, -100) << "ConfigurationDlg returned to the host";
  EXPECT_EQ(Bytes(settings, L"CustomColors").size(), 64u) << "the custom colours are saved under the plug-in's key";
  OwnerGoesWhileChoosing::filler.clear();
}

BOOL CALLBACK FindVersionText(HWND child, LPARAM found) {
  wchar_t buffer[256] = {};
  GetWindowTextW(child, buffer, 256);
  if (std::wstring(buffer).find(L"version") != std::wstring::npos) *reinterpret_cast<std::wstring*>(found) = buffer;
  return TRUE;
}

TEST_F(SettingsDialog, TheAboutBoxShowsTheVersionText) {
  std::atomic<int> result{-100};
  {
    gui::HostThread host([&] { result = plugin.ConfigurationDlg(nullptr, 0); });
    HWND box = gui::WaitFor([] { return gui::FindDialog(hostkit::kPluginName); });
    ASSERT_NE(box, nullptr);
    std::wstring text;
    EnumChildWindows(box, FindVersionText, reinterpret_cast<LPARAM>(&text));
    const std::wstring expected = L"" QUORVEL_ABOUT_TEXT;
    EXPECT_EQ(text, expected);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(plugin.ConfigurationDlg(nullptr, 2), -1) << "unknown functions show nothing";
  EXPECT_EQ(plugin.ConfigurationDlg(nullptr, -1), -1);
}

}  // namespace
