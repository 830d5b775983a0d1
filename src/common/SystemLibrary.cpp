#include "common/SystemLibrary.h"

#include <cstring>
#include <cwchar>

namespace quorvel {

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  if (name == nullptr || *name == L'\0') return nullptr;
  // The search flags exist where AddDllDirectory does (Windows 8, or 7 with KB2533623);
  // elsewhere LoadLibraryExW fails on them, so the system folder's full path is given.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr)
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  wchar_t path[MAX_PATH];
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
  const std::size_t length = std::wcslen(name);
  if (folder == 0 || folder + 1 + length + 1 > MAX_PATH) return nullptr;
  path[folder] = L'\\';
  std::memcpy(path + folder + 1, name, (length + 1) * sizeof(wchar_t));
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace quorvel
