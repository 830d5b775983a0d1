// SettingsChaos: the key's values are saved first and restored at the end, whatever the
// writer left behind.
#include "SettingsChaos.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "HostCalls.h"
#include "common/Owners.h"
#include "Plugin.h"
#include "Random.h"
#include "StressInputs.h"
#include "settings/SettingsKey.h"
#include "settings/SettingsStore.h"

namespace stress {
namespace {

struct StoredValue {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
};

// The key as it was: absent, or these values.
class SavedSettings {
 public:
  SavedSettings() {
    quorvel::RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
    existed_ = true;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD nameLength = 256, type = 0, size = 0;
      if (RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
      StoredValue v{name, type, std::vector<BYTE>(size)};
      nameLength = 256;
      if (RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, v.data.data(), &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        values_.push_back(std::move(v));
      }
    }
  }
  ~SavedSettings() {
    RegDeleteKeyW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath);
    if (!existed_) return;
    quorvel::RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
      return;
    for (const auto& v : values_)
      RegSetValueExW(key.Get(), v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
  }
  SavedSettings(const SavedSettings&) = delete;
  SavedSettings& operator=(const SavedSettings&) = delete;

 private:
  bool existed_ = false;
  std::vector<StoredValue> values_;
};

void WriteSomething(Random& r) {
  static const wchar_t* kNames[] = {quorvel::kValueAlpha, quorvel::kValueColor, quorvel::kValueExifOrientation,
                                    quorvel::kValueColorHistory, quorvel::kValueCustomColors};
  static const DWORD kTypes[] = {REG_DWORD, REG_DWORD, REG_SZ, REG_BINARY, REG_QWORD, REG_MULTI_SZ, REG_NONE, REG_EXPAND_SZ,
                                 REG_DWORD_BIG_ENDIAN};
  static const DWORD kSizes[] = {0, 1, 2, 3, 4, 4, 4, 5, 8, 12, 31, 32, 33, 40, 64};
  const wchar_t* name = kNames[r.Below(5)];
  switch (r.Below(16)) {
    case 0:
      RegDeleteKeyW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath);
      return;
    case 1: {
      quorvel::RegistryKey key;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath, 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS)
        RegDeleteValueW(key.Get(), name);
      return;
    }
    default: break;
  }
  quorvel::RegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, quorvel::kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  const DWORD type = kTypes[r.Below(sizeof kTypes / sizeof kTypes[0])];
  const DWORD size = kSizes[r.Below(sizeof kSizes / sizeof kSizes[0])];
  std::vector<BYTE> data(size);
  for (auto& b : data) b = r.Byte();
  // Often a plausible number, so that both alpha modes and both orientation choices occur.
  if (size == 4 && r.OneIn(2)) {
    const DWORD v = static_cast<DWORD>(r.Below(3));
    std::memcpy(data.data(), &v, 4);
  }
  RegSetValueExW(key.Get(), name, 0, type, data.data(), size);
}

}  // namespace

ChaosReport RunSettingsChaos(double seconds, int decoders, std::uint64_t seed) {
  ChaosReport report;
  SavedSettings saved;
  hostkit::Plugin plugin;
  if (!plugin.IsLoaded()) {
    report.wrong.push_back("cannot load the plug-in");
    return report;
  }
  // With alpha (the "Alpha" and "Color" values matter) and turned (orientation matters).
  const auto pictures = GoodPictures(61, 37);
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> decodes{0};
  std::mutex lock;
  const ULONGLONG started = GetTickCount64();

  std::thread writer([&] {
    Random r(seed);
    while (!stop.load()) {
      WriteSomething(r);
      ++report.writes;
    }
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < decoders; ++t) {
    readers.emplace_back([&, t] {
      HostCalls calls(plugin, L"");
      std::size_t i = static_cast<std::size_t>(t);
      while (!stop.load()) {
        const auto& input = pictures[i++ % pictures.size()];
        const Decode d = calls.Picture(input.bytes, false, i % 2 == 0, -1);
        ++decodes;
        // Whatever the settings say: delivered, upright one way or the other, 24 bits for
        // pictures with alpha, never a torn or malformed one.
        const bool sizeOk = (d.width == 61 && d.height == 37) || (d.width == 37 && d.height == 61);
        if (d.result != 0 || !d.wellFormed || !sizeOk || !d.why.empty()) {
          std::lock_guard<std::mutex> hold(lock);
          if (report.wrong.size() < 20)
            report.wrong.push_back(input.name + ": result " + std::to_string(d.result) + " " + d.why + " " +
                                   std::to_string(d.width) + " x " + std::to_string(d.height));
        }
      }
    });
  }
  Sleep(static_cast<DWORD>(seconds * 1000));
  stop = true;
  writer.join();
  for (auto& t : readers) t.join();
  report.decodes = decodes.load();
  report.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
  return report;
}

}  // namespace stress
