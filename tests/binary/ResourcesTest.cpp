// The resources inside each built plug-in: the settings dialog template read back and
// checked control by control, the manifest, and the version information.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Plugin.h"
#include "resource.h"

namespace {

// A little-endian reader over a resource's bytes.
class Reader {
 public:
  Reader(const void* data, DWORD size) : p_(static_cast<const std::uint8_t*>(data)), end_(p_ + size), begin_(p_) {}
  WORD Word() { return Take<WORD>(); }
  DWORD Dword() { return Take<DWORD>(); }
  short Short() { return Take<short>(); }
  std::uint8_t Byte() { return Take<std::uint8_t>(); }
  // A string or an ordinal (0xFFFF followed by the value), as dialog templates store them.
  std::wstring StringOrOrdinal(WORD* ordinal = nullptr) {
    if (ordinal) *ordinal = 0;
    if (Peek() == 0xFFFF) {
      Word();
      const WORD value = Word();
      if (ordinal) *ordinal = value;
      return L"#" + std::to_wstring(value);
    }
    std::wstring s;
    for (WORD c; (c = Word()) != 0;) s.push_back(static_cast<wchar_t>(c));
    return s;
  }
  void AlignDword() {
    while ((p_ - begin_) % 4) ++p_;
  }
  void Skip(std::size_t n) { p_ += n; }
  bool Overrun() const { return p_ > end_; }

 private:
  WORD Peek() const {
    WORD v = 0;
    if (p_ + 2 <= end_) std::memcpy(&v, p_, 2);
    return v;
  }
  template <class T>
  T Take() {
    T v{};
    if (p_ + sizeof(T) <= end_) std::memcpy(&v, p_, sizeof(T));
    p_ += sizeof(T);
    return v;
  }
  const std::uint8_t* p_;
  const std::uint8_t* end_;
  const std::uint8_t* begin_;
};

struct Control {
  int id;
  WORD classAtom;  // 0x80 button, 0x82 static
  DWORD kind;      // the control's own style bits
  std::wstring text;
  short x, y, cx, cy;
  DWORD more;  // further window styles
};

std::vector<Control> ExpectedControls() {
  std::vector<Control> c = {
      {-1, 0x80, BS_GROUPBOX, L"アルファ情報の片づけ方", 6, 6, 198, 66, WS_GROUP},
      {IDC_ALPHA_REMOVE, 0x80, BS_AUTORADIOBUTTON, L"アルファ情報を除去(&R)", 12, 18, 75, 10, 0},
      {IDC_ALPHA_COMPOSITE, 0x80, BS_AUTORADIOBUTTON, L"指定した色と合成(&T)", 12, 42, 73, 10, 0},
      {IDC_COLOR_SWATCH, 0x80, BS_OWNERDRAW, L"", 103, 37, 12, 12, WS_DISABLED},
      {IDC_CHOOSE_COLOR, 0x80, BS_PUSHBUTTON, L"色の設定(&C)", 115, 36, 82, 14, WS_GROUP | WS_TABSTOP},
  };
  for (int i = 0; i < 8; ++i)
    c.push_back({IDC_HISTORY1 + i, 0x80, BS_OWNERDRAW, L"&" + std::to_wstring(i + 1), static_cast<short>(117 + 10 * i), 54, 10, 12,
                 WS_TABSTOP});
  c.push_back({-1, 0x82, SS_LEFT, L"履歴", 102, 56, 15, 8, WS_GROUP});
  c.push_back({IDC_USE_EXIF_ORIENTATION, 0x80, BS_AUTOCHECKBOX, L"Exifの向き情報があれば使う(&E)", 6, 81, 102, 10, WS_GROUP | WS_TABSTOP});
  c.push_back({IDOK, 0x80, BS_DEFPUSHBUTTON, L"OK", 114, 78, 42, 18, WS_GROUP | WS_TABSTOP});
  c.push_back({IDCANCEL, 0x80, BS_PUSHBUTTON, L"キャンセル", 162, 78, 42, 18, WS_TABSTOP});
  return c;
}

std::pair<const void*, DWORD> Resource(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  HRSRC found = FindResourceExW(module, type, name, language);
  if (!found) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(module, found);
  return {LockResource(loaded), SizeofResource(module, found)};
}

TEST(Resources, TheSettingsDialogTemplateIsExactlyAsDesigned) {
  const hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  const auto [data, size] = Resource(plugin.Module(), RT_DIALOG, MAKEINTRESOURCEW(IDD_SETTINGS),
                                     MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  ASSERT_NE(data, nullptr) << "dialog 101 in Japanese (1041)";
  Reader r(data, size);
  EXPECT_EQ(r.Word(), 1) << "extended template";
  EXPECT_EQ(r.Word(), 0xFFFF);
  EXPECT_EQ(r.Dword(), 0u) << "help id";
  EXPECT_EQ(r.Dword(), 0u) << "extended style";
  EXPECT_EQ(r.Dword(), 0x80C800C8u) << "WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS";
  const WORD count = r.Word();
  EXPECT_EQ(count, 17);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 211);
  EXPECT_EQ(r.Short(), 104);
  EXPECT_EQ(r.StringOrOrdinal(), L"") << "no menu";
  EXPECT_EQ(r.StringOrOrdinal(), L"") << "default class";
  EXPECT_EQ(r.StringOrOrdinal(), L"Dialog");
  EXPECT_EQ(r.Word(), 9) << "points";
  EXPECT_EQ(r.Word(), 400) << "weight";
  EXPECT_EQ(r.Byte(), 0) << "not italic";
  EXPECT_EQ(r.Byte(), 128) << "SHIFTJIS_CHARSET";
  EXPECT_EQ(r.StringOrOrdinal(), L"MS Shell Dlg");

  const std::vector<Control> expected = ExpectedControls();
  ASSERT_EQ(count, expected.size());
  for (const Control& want : expected) {
    SCOPED_TRACE(want.id);
    r.AlignDword();
    EXPECT_EQ(r.Dword(), 0u) << "help id";
    EXPECT_EQ(r.Dword(), 0u) << "extended style";
    const DWORD style = r.Dword();
    EXPECT_EQ(style, WS_CHILD | WS_VISIBLE | want.kind | want.more) << std::hex << style;
    EXPECT_EQ(r.Short(), want.x);
    EXPECT_EQ(r.Short(), want.y);
    EXPECT_EQ(r.Short(), want.cx);
    EXPECT_EQ(r.Short(), want.cy);
    EXPECT_EQ(static_cast<int>(r.Dword()), want.id);
    WORD atom = 0;
    const std::wstring cls = r.StringOrOrdinal(&atom);
    EXPECT_TRUE(atom == want.classAtom || cls == (want.classAtom == 0x80 ? L"Button" : L"Static")) << std::string(cls.begin(), cls.end());
    EXPECT_EQ(r.StringOrOrdinal(), want.text);
    const WORD extra = r.Word();
    r.Skip(extra);
  }
  EXPECT_FALSE(r.Overrun());
}

TEST(Resources, TheManifestAsksForNoElevationAndDeclaresDpiAwareness) {
  const hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  HRSRC found = FindResourceW(plugin.Module(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "manifest: type 24, id 2";
  const char* text = static_cast<const char*>(LockResource(LoadResource(plugin.Module(), found)));
  const std::string manifest(text, SizeofResource(plugin.Module(), found));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

TEST(Resources, TheVersionInformationNamesThePlugin) {
  const std::wstring path = hostkit::ProgramFolder() + hostkit::kPluginName;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  constexpr DWORD kMajorMinor = QUORVEL_VERSION_MAJOR << 16 | QUORVEL_VERSION_MINOR;
  EXPECT_EQ(fixed->dwFileVersionMS, kMajorMinor);
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(QUORVEL_VERSION_PATCH) << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, kMajorMinor);
  auto value = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT n = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &n) || !text) return std::wstring();
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"FileVersion"), L"" QUORVEL_VERSION_TEXT);
  EXPECT_EQ(value(L"ProductVersion"), L"" QUORVEL_VERSION_TEXT);
  EXPECT_EQ(value(L"ProductName"), L"Quorvel");
  EXPECT_EQ(value(L"OriginalFilename"), hostkit::kPluginName);
  EXPECT_NE(value(L"FileDescription").find(L"TIFF import plug-in"), std::wstring::npos);
}

}  // namespace
