// Helpers every test program shares: temporary files, the settings key, byte buffers,
// and telling Wine's imaging component apart from Windows'.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// True under Wine, whose imaging component has known gaps (see the README).
bool RunningOnWine();

// A file in the test's own temporary folder, deleted when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::vector<std::uint8_t>& bytes, const std::wstring& extension = L".tif");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::wstring& Path() const { return path_; }
  std::string AnsiPath() const;

 private:
  std::wstring path_;
};

std::wstring UniqueTempPath(const std::wstring& extension);
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);

// Removes the plug-in's settings key when made and again when destroyed, so each
// registry test starts from "no settings" and leaves none behind.
class CleanSettings {
 public:
  CleanSettings();
  ~CleanSettings();
  CleanSettings(const CleanSettings&) = delete;
  CleanSettings& operator=(const CleanSettings&) = delete;

  void SetDword(const wchar_t* name, DWORD value) const;
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const;
  bool KeyExists() const;
  // The stored value's type and bytes; false when absent.
  bool Get(const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& bytes) const;
  bool GetDword(const wchar_t* name, DWORD& value) const;
};

// The folder with the test data committed to the repository, and the real-world corpus
// beside the project (may be absent).
std::wstring DataFolder();
std::wstring CorpusFolder();

}  // namespace testsupport
