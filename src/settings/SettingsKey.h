// The settings' registry key under HKEY_CURRENT_USER and the typed value operations on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/Owners.h"

namespace quorvel {

inline constexpr const wchar_t* kSettingsKeyPath = L"Software\\Larkspur_Vale\\Quorvel.spi";

// Owner of one open key handle; empty when opening failed. Reads through an empty
// holder fail like a missing value.
class SettingsKey {
 public:
  // KEY_READ; never creates the key.
  static SettingsKey OpenForRead(const wchar_t* keyPath) noexcept;
  // KEY_WRITE; creates the key and any missing parents.
  static SettingsKey CreateForWrite(const wchar_t* keyPath) noexcept;

  bool IsOpen() const noexcept { return key_.IsValid(); }

  // True only for a REG_DWORD of exactly 4 bytes; otherwise value is not to be used.
  bool ReadDword(const wchar_t* name, std::uint32_t& value) const noexcept;
  bool WriteDword(const wchar_t* name, std::uint32_t value) const noexcept;
  // The value's bytes, whatever its type. Throws std::bad_alloc when memory runs out.
  bool ReadBlob(const wchar_t* name, std::vector<std::uint8_t>& bytes) const;
  void WriteBlob(const wchar_t* name, const void* bytes, DWORD length) const noexcept;

 private:
  RegistryKey key_;
};

}  // namespace quorvel
