// SettingsKey: RegOpenKeyExW / RegCreateKeyExW and the value reads and writes.
#include "settings/SettingsKey.h"

namespace quorvel {

SettingsKey SettingsKey::OpenForRead(const wchar_t* keyPath) noexcept {
  SettingsKey key;
  HKEY handle = nullptr;
  if (keyPath != nullptr && RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &handle) == ERROR_SUCCESS)
    key.key_.Reset(handle);
  return key;
}

SettingsKey SettingsKey::CreateForWrite(const wchar_t* keyPath) noexcept {
  SettingsKey key;
  HKEY handle = nullptr;
  if (keyPath != nullptr && RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_WRITE, nullptr, &handle, nullptr) == ERROR_SUCCESS)
    key.key_.Reset(handle);
  return key;
}

bool SettingsKey::ReadDword(const wchar_t* name, std::uint32_t& value) const noexcept {
  if (!IsOpen()) return false;
  DWORD type = REG_NONE;
  DWORD buffer = 0;
  DWORD size = sizeof(buffer);
  if (RegQueryValueExW(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_DWORD || size != sizeof(buffer)) return false;
  value = buffer;
  return true;
}

bool SettingsKey::WriteDword(const wchar_t* name, std::uint32_t value) const noexcept {
  if (!IsOpen()) return false;
  const DWORD data = value;
  return RegSetValueExW(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
         ERROR_SUCCESS;
}

bool SettingsKey::ReadBlob(const wchar_t* name, std::vector<std::uint8_t>& bytes) const {
  if (!IsOpen()) return false;
  DWORD size = 0;
  if (RegQueryValueExW(key_.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  // Four spare bytes absorb a value that grew a little between the two queries.
  if (size > MAXDWORD - 4) return false;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size) + 4, 0);
  DWORD length = static_cast<DWORD>(buffer.size());
  if (RegQueryValueExW(key_.Get(), name, nullptr, nullptr, buffer.data(), &length) != ERROR_SUCCESS) return false;
  buffer.resize(length);
  bytes = std::move(buffer);
  return true;
}

void SettingsKey::WriteBlob(const wchar_t* name, const void* bytes, DWORD length) const noexcept {
  if (!IsOpen()) return;
  RegSetValueExW(key_.Get(), name, 0, REG_BINARY, static_cast<const BYTE*>(bytes), length);
}

}  // namespace quorvel
