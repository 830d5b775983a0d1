// File names of the stress program: its own temporary files, and paths in ASCII for the
// ANSI entries and the reports.
#pragma once

#include <windows.h>

#include <string>

namespace stress {

// Characters beyond ASCII become '?'.
inline std::string AsciiOf(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += static_cast<char>(c < 128 ? c : '?');
  return out;
}

// <temporary folder>\quorvel-<tag>-<process id>-<n>.tif: distinct per process and caller.
inline std::wstring TempFilePath(const std::wstring& tag, int n = 0) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"quorvel-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n) + L".tif";
}

}  // namespace stress
