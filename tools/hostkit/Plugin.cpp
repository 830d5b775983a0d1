// Plugin: LoadLibraryW and GetProcAddress of the eleven exports.
#include "Plugin.h"

namespace hostkit {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

namespace {
std::wstring& DefaultName() {
  static std::wstring name = kPluginName;
  return name;
}
}  // namespace

const std::wstring& DefaultPluginName() { return DefaultName(); }
void UseDefaultPluginName(const std::wstring& name) { DefaultName() = name; }

Plugin::Plugin() : Plugin(ProgramFolder() + DefaultPluginName()) {}

Plugin::Plugin(const std::wstring& path) {
  module_ = LoadLibraryW(path.c_str());
  if (module_) Resolve();
}

Plugin::~Plugin() {
  if (module_) FreeLibrary(module_);
}

template <class Fn>
static void ResolveOne(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void Plugin::Resolve() {
  ResolveOne(module_, "GetPluginInfo", GetPluginInfo);
  ResolveOne(module_, "GetPluginInfoW", GetPluginInfoW);
  ResolveOne(module_, "IsSupported", IsSupported);
  ResolveOne(module_, "IsSupportedW", IsSupportedW);
  ResolveOne(module_, "GetPictureInfo", GetPictureInfo);
  ResolveOne(module_, "GetPictureInfoW", GetPictureInfoW);
  ResolveOne(module_, "GetPicture", GetPicture);
  ResolveOne(module_, "GetPictureW", GetPictureW);
  ResolveOne(module_, "GetPreview", GetPreview);
  ResolveOne(module_, "GetPreviewW", GetPreviewW);
  ResolveOne(module_, "ConfigurationDlg", ConfigurationDlg);
}

}  // namespace hostkit
