// TempFile, CleanSettings and friends.
#include "TestEnvironment.h"

#include <atomic>

#include "TestPaths.h"

namespace testsupport {

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring UniqueTempPath(const std::wstring& extension) {
  static std::atomic<unsigned> counter{0};
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"quorvel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++) + extension;
}

TempFile::TempFile(const std::vector<std::uint8_t>& bytes, const std::wstring& extension)
    : path_(UniqueTempPath(extension)) {
  HANDLE h = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

TempFile::~TempFile() { DeleteFileW(path_.c_str()); }

std::string TempFile::AnsiPath() const {
  const int n = WideCharToMultiByte(CP_ACP, 0, path_.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, path_.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  GetFileSizeEx(h, &size);
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty()) ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(h);
  return bytes;
}

namespace {
constexpr const wchar_t* kKeyPath = L"Software\\Larkspur_Vale\\Quorvel.spi";
void DeleteSettingsKey() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath);
  RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Larkspur_Vale");
}
}  // namespace

CleanSettings::CleanSettings() { DeleteSettingsKey(); }
CleanSettings::~CleanSettings() { DeleteSettingsKey(); }

void CleanSettings::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void CleanSettings::SetDword(const wchar_t* name, DWORD value) const { SetRaw(name, REG_DWORD, &value, sizeof(value)); }

bool CleanSettings::KeyExists() const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool CleanSettings::Get(const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& bytes) const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool ok = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    bytes.resize(size);
    ok = RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

bool CleanSettings::GetDword(const wchar_t* name, DWORD& value) const {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
  if (!Get(name, type, bytes) || type != REG_DWORD || bytes.size() != 4) return false;
  value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
  return true;
}

std::wstring DataFolder() { return std::wstring(kSourceFolder) + L"tests\\data\\"; }

std::wstring CorpusFolder() { return std::wstring(kSourceFolder) + L"..\\shared\\corpus\\"; }

}  // namespace testsupport
