// CurrentPictureOptions: the settings' COLORREF (0x00BBGGRR) in DIB byte order.
#include "plugin/CurrentOptions.h"

#include "settings/SettingsStore.h"

namespace quorvel {

PictureOptions CurrentPictureOptions() noexcept {
  const DecodeSettings settings = ReadDecodeSettings();
  PictureOptions options;
  options.applyOrientation = settings.useOrientation;
  options.compositeAlpha = settings.composite;
  options.background = {static_cast<std::uint8_t>(settings.color >> 16), static_cast<std::uint8_t>(settings.color >> 8),
                        static_cast<std::uint8_t>(settings.color)};
  return options;
}

}  // namespace quorvel
