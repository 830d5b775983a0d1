// A Susie plug-in loaded as a host loads it: LoadLibrary from the test program's own
// folder and every export resolved with GetProcAddress.
#pragma once

#include <windows.h>

#include <string>

#include "ProductIdentity.h"
#include "plugin/SusieApi.h"

namespace hostkit {

inline constexpr const wchar_t* kPluginName = L"" QUORVEL_FILE_NAME;

// The file name Plugin() loads from the program's folder: kPluginName unless a program
// chose another build of the plug-in (the stress program's --plugin) before any load.
const std::wstring& DefaultPluginName();
void UseDefaultPluginName(const std::wstring& name);

// Folder of the running program, with a trailing backslash.
std::wstring ProgramFolder();

class Plugin {
 public:
  // Loads ProgramFolder() + DefaultPluginName(); IsLoaded() tells whether that worked.
  Plugin();
  explicit Plugin(const std::wstring& path);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool IsLoaded() const { return module_ != nullptr && GetPicture != nullptr; }
  HMODULE Module() const { return module_; }
  FARPROC Export(const char* name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

  susie::GetPluginInfoFn GetPluginInfo = nullptr;
  susie::GetPluginInfoWFn GetPluginInfoW = nullptr;
  susie::IsSupportedFn IsSupported = nullptr;
  susie::IsSupportedWFn IsSupportedW = nullptr;
  susie::GetPictureInfoFn GetPictureInfo = nullptr;
  susie::GetPictureInfoWFn GetPictureInfoW = nullptr;
  susie::GetPictureFn GetPicture = nullptr;
  susie::GetPictureWFn GetPictureW = nullptr;
  susie::GetPreviewFn GetPreview = nullptr;
  susie::GetPreviewFn GetPreviewW = nullptr;
  susie::ConfigurationDlgFn ConfigurationDlg = nullptr;

 private:
  void Resolve();
  HMODULE module_ = nullptr;
};

}  // namespace hostkit
