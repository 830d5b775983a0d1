// What the built plug-in file is made of: the libraries it imports (only system ones, so
// it loads on any Windows without a runtime installed beside it) and the names it exports.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "Plugin.h"

namespace {

const IMAGE_NT_HEADERS* Headers(HMODULE module) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

template <class T>
const T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<const T*>(reinterpret_cast<const std::uint8_t*>(module) + rva);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::set<std::string> ImportedLibraries(HMODULE module) {
  std::set<std::string> names;
  const IMAGE_DATA_DIRECTORY& dir = Headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (const auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); dir.Size && d->Name; ++d)
    names.insert(Lower(At<char>(module, d->Name)));
  const IMAGE_DATA_DIRECTORY& delayed = Headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
  EXPECT_EQ(delayed.Size, 0u) << "no delay-loaded imports";
  return names;
}

std::set<std::string> ExportedNames(HMODULE module) {
  std::set<std::string> names;
  const IMAGE_DATA_DIRECTORY& dir = Headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.Size) return names;
  const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
  const auto* nameRvas = At<DWORD>(module, exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(At<char>(module, nameRvas[i]));
  return names;
}

TEST(ModuleImage, ImportsOnlySystemLibraries) {
  const hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  // Libraries every supported Windows has in its system folder. The compiler runtime
  // (libstdc++, libgcc, winpthread) is linked in; the parallel runtime, and the colour
  // chooser's comdlg32 (with the shell libraries it brings, which do not unload cleanly),
  // are loaded at run time.
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
                                        "oleaut32.dll", "shlwapi.dll", "msvcrt.dll"};
  const std::set<std::string> imported = ImportedLibraries(plugin.Module());
  EXPECT_FALSE(imported.empty());
  for (const std::string& name : imported) EXPECT_TRUE(system.count(name)) << "imports " << name;
}

TEST(ModuleImage, ExportsExactlyTheElevenSusieNames) {
  const hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
  const std::set<std::string> expected = {"GetPluginInfo",  "GetPluginInfoW", "IsSupported", "IsSupportedW",
                                          "GetPictureInfo", "GetPictureInfoW", "GetPicture", "GetPictureW",
                                          "GetPreview",     "GetPreviewW",     "ConfigurationDlg"};
  EXPECT_EQ(ExportedNames(plugin.Module()), expected) << "undecorated, and nothing else";
}

TEST(ModuleImage, IsBuiltForThisProgramsArchitecture) {
  const hostkit::Plugin plugin;
  ASSERT_TRUE(plugin.IsLoaded());
#if defined(_WIN64)
  EXPECT_EQ(Headers(plugin.Module())->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
#else
  EXPECT_EQ(Headers(plugin.Module())->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
#endif
  EXPECT_TRUE(Headers(plugin.Module())->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

}  // namespace
