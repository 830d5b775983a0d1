// The five per-user settings: value names, defaults and the reads the plug-in and the
// dialog make. Nothing is cached; every read opens the key afresh.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "settings/SettingsKey.h"

namespace quorvel {

inline constexpr const wchar_t* kValueColor = L"Color";
inline constexpr const wchar_t* kValueAlpha = L"Alpha";
inline constexpr const wchar_t* kValueExifOrientation = L"exif_orientation";
inline constexpr const wchar_t* kValueColorHistory = L"ColorHistory";
inline constexpr const wchar_t* kValueCustomColors = L"CustomColors";

inline constexpr COLORREF kDefaultColor = 0x00FFFFFF;  // white
inline constexpr std::uint32_t kAlphaRemove = 0;
inline constexpr std::uint32_t kAlphaComposite = 1;

using ColorHistory = std::array<COLORREF, 8>;
using CustomColors = std::array<COLORREF, 16>;

// Slot 0 is the most recently replaced colour.
inline constexpr ColorHistory kDefaultColorHistory = {
    0x808080,  // grey
    0x0000FF,  // red
    0x00FFFF,  // yellow
    0x00FF00,  // green
    0xFFFF00,  // cyan
    0xFF0000,  // blue
    0xFF00FF,  // magenta
    0x000000,  // black
};

// What one decode takes from the settings, read through one opening of the key.
struct DecodeSettings {
  bool composite = true;           // "Alpha" is 1, or missing or malformed; any other number removes alpha
  COLORREF color = kDefaultColor;  // "Color" (white when missing), read only when compositing
  bool useOrientation = true;      // false only when "exif_orientation" is a REG_DWORD 0
};

DecodeSettings ReadDecodeSettings() noexcept;

// Colour lists over their defaults: complete 4-byte elements from the start replace the
// first slots, whatever the value's type; trailing bytes are ignored.
ColorHistory LoadColorHistory(const SettingsKey& key);
CustomColors LoadCustomColors(const SettingsKey& key);

}  // namespace quorvel
