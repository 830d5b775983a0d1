// The scratch key lives at HKCU\Software\Quorvel test scratch\<process id>; keys left by
// test processes that died are removed by the next one. The real Software key is held by
// a handle of its own: opening HKEY_CURRENT_USER itself with no subkey may give back the
// predefined handle, which the redirection then moves too.
#include "ScratchUserKey.h"

#include <memory>
#include <string>

namespace testsupport {
namespace {

constexpr const wchar_t* kScratchParent = L"Quorvel test scratch";

HKEY g_realSoftware = nullptr;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyOwner = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

KeyOwner OpenOrCreate(HKEY base, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(base, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return KeyOwner();
  return KeyOwner(key);
}

bool ProcessAlive(DWORD id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

void RemoveKeysOfDeadProcesses(HKEY parent) {
  for (DWORD index = 0;;) {
    wchar_t name[64];
    DWORD length = 64;
    if (RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const DWORD id = wcstoul(name, nullptr, 10);
    if (id != GetCurrentProcessId() && !ProcessAlive(id) && RegDeleteTreeW(parent, name) == ERROR_SUCCESS &&
        RegDeleteKeyW(parent, name) == ERROR_SUCCESS)
      continue;  // the next key moved down to this index
    ++index;
  }
}

}  // namespace

ScratchUserKey::ScratchUserKey() {
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_ALL_ACCESS, &g_realSoftware) != ERROR_SUCCESS) return;
  const std::wstring own = std::to_wstring(GetCurrentProcessId());
  KeyOwner parent;
  KeyOwner scratch;
  // Another test program ending at this moment deletes the parent when its own key was the
  // last one; a key made under the deleted parent fails, so the parent is opened afresh.
  for (int attempt = 0; attempt < 20 && !scratch; ++attempt) {
    parent = OpenOrCreate(g_realSoftware, kScratchParent);
    if (!parent) continue;
    RemoveKeysOfDeadProcesses(parent.get());
    RegDeleteTreeW(parent.get(), own.c_str());
    scratch = OpenOrCreate(parent.get(), own.c_str());
  }
  if (!scratch) return;
  if (RegOverridePredefKey(HKEY_CURRENT_USER, scratch.get()) != ERROR_SUCCESS) {
    scratch.reset();
    RegDeleteKeyW(parent.get(), own.c_str());
    return;
  }
  scratch_ = scratch.release();
}

ScratchUserKey::~ScratchUserKey() {
  if (scratch_) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratch_);
    if (const KeyOwner parent = OpenOrCreate(g_realSoftware, kScratchParent)) {
      const std::wstring own = std::to_wstring(GetCurrentProcessId());
      RegDeleteTreeW(parent.get(), own.c_str());
      RegDeleteKeyW(parent.get(), own.c_str());
    }
    // The parent goes with the last scratch key (RegDeleteKey refuses while others remain).
    RegDeleteKeyW(g_realSoftware, kScratchParent);
  }
  if (g_realSoftware) {
    RegCloseKey(g_realSoftware);
    g_realSoftware = nullptr;
  }
}

HKEY RealUserSoftware() { return g_realSoftware; }

}  // namespace testsupport
