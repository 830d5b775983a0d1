// The modal settings dialog (resource IDD_SETTINGS): alpha handling, the compositing
// colour with its history of eight recent colours, and the orientation switch. Nothing
// is saved before OK, except the colour chooser's custom colours whenever it closes.
#pragma once

#include <windows.h>

#include <string>

#include "settings/SettingsStore.h"

namespace quorvel {

// WPARAM: the chosen COLORREF; LPARAM: 0.
inline constexpr UINT WMU_SELECT_COLOR = WM_USER + 1;

// One per open dialog, in the window's user-data slot from WM_INITDIALOG to WM_DESTROY.
struct SettingsDialogState {
  std::wstring keyPath;  // every registry access of the dialog uses this copy
  COLORREF currentColor = kDefaultColor;
  ColorHistory history = kDefaultColorHistory;
};

// The history rule: c becomes current, the previous current colour goes to slot 0, and c
// leaves the history if it was in it (else the last slot is dropped). False when c is
// already current (nothing changes).
bool SelectColor(SettingsDialogState& state, COLORREF c) noexcept;

// The dialog's caption comes as the creation parameter (a wide string). Ends the dialog
// with IDOK (saved), IDCANCEL, or -1 when the settings cannot be saved.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quorvel
