// Settings reads with their defaults.
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quorvel {
namespace {

template <std::size_t N>
std::array<COLORREF, N> LoadColorList(const SettingsKey& key, const wchar_t* name,
                                      const std::array<COLORREF, N>& defaults) {
  std::array<COLORREF, N> colors = defaults;
  std::vector<std::uint8_t> bytes;
  if (!key.ReadBlob(name, bytes)) return colors;
  const std::size_t count = std::min(bytes.size() / 4, N);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* b = bytes.data() + 4 * i;
    colors[i] = static_cast<COLORREF>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
  }
  return colors;
}

constexpr CustomColors AllWhite() {
  CustomColors colors{};
  for (COLORREF& c : colors) c = kDefaultColor;
  return colors;
}

}  // namespace

DecodeSettings ReadDecodeSettings() noexcept {
  const SettingsKey key = SettingsKey::OpenForRead(kSettingsKeyPath);
  DecodeSettings settings;
  std::uint32_t value = 0;
  settings.useOrientation = !key.ReadDword(kValueExifOrientation, value) || value != 0;
  settings.composite = !key.ReadDword(kValueAlpha, value) || value == kAlphaComposite;
  if (settings.composite && key.ReadDword(kValueColor, value)) settings.color = value;
  return settings;
}

ColorHistory LoadColorHistory(const SettingsKey& key) {
  return LoadColorList(key, kValueColorHistory, kDefaultColorHistory);
}

CustomColors LoadCustomColors(const SettingsKey& key) { return LoadColorList(key, kValueCustomColors, AllWhite()); }

}  // namespace quorvel
