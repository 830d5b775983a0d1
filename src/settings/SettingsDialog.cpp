// The settings dialog's procedure.
#include "settings/SettingsDialog.h"

#include <commdlg.h>

#include <algorithm>

#include "common/SystemLibrary.h"
#include "resource.h"

namespace quorvel {
namespace {

constexpr int kHistoryButtonIds[8] = {IDC_HISTORY1, IDC_HISTORY2, IDC_HISTORY3, IDC_HISTORY4,
                                      IDC_HISTORY5, IDC_HISTORY6, IDC_HISTORY7, IDC_HISTORY8};

SettingsDialogState* StateOf(HWND dialog) noexcept {
#if defined(_WIN64)
  return reinterpret_cast<SettingsDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
#else
  return reinterpret_cast<SettingsDialogState*>(GetWindowLongW(dialog, GWL_USERDATA));
#endif
}

void StoreState(HWND dialog, SettingsDialogState* state) noexcept {
#if defined(_WIN64)
  SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
#else
  SetWindowLongW(dialog, GWL_USERDATA, static_cast<LONG>(reinterpret_cast<LONG_PTR>(state)));
#endif
}

template <std::size_t N>
void ColorsToBytes(const std::array<COLORREF, N>& colors, BYTE (&bytes)[4 * N]) noexcept {
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<BYTE>(colors[i] >> (8 * b));
}

INT_PTR EndWithFailure(HWND dialog) noexcept {
  EndDialog(dialog, -1);
  return FALSE;
}

INT_PTR OnInitDialog(HWND dialog, const wchar_t* caption) {
  auto* state = new SettingsDialogState{kSettingsKeyPath, kDefaultColor, kDefaultColorHistory};
  // Stored first: the WM_COMMAND sent below must find it.
  StoreState(dialog, state);
  if (state->keyPath.empty()) return EndWithFailure(dialog);

  const SettingsKey key = SettingsKey::OpenForRead(state->keyPath.c_str());
  state->history = LoadColorHistory(key);
  std::uint32_t value = 0;
  state->currentColor = key.ReadDword(kValueColor, value) ? value : kDefaultColor;
  const std::uint32_t alpha = key.ReadDword(kValueAlpha, value) ? value : kAlphaComposite;
  const int radio = alpha == kAlphaRemove ? IDC_ALPHA_REMOVE : IDC_ALPHA_COMPOSITE;
  CheckRadioButton(dialog, IDC_ALPHA_REMOVE, IDC_ALPHA_COMPOSITE, radio);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(radio, 0), 0);
  const std::uint32_t orientation = key.ReadDword(kValueExifOrientation, value) ? value : 1;
  CheckDlgButton(dialog, IDC_USE_EXIF_ORIENTATION, orientation != 0 ? BST_CHECKED : BST_UNCHECKED);
  if (caption != nullptr) SetWindowTextW(dialog, caption);
  return TRUE;
}

INT_PTR OnOk(HWND dialog, const SettingsDialogState& state) noexcept {
  if (state.keyPath.empty()) return EndWithFailure(dialog);
  const SettingsKey key = SettingsKey::CreateForWrite(state.keyPath.c_str());
  if (!key.IsOpen()) return EndWithFailure(dialog);
  BYTE history[32];
  ColorsToBytes(state.history, history);
  key.WriteBlob(kValueColorHistory, history, sizeof(history));
  key.WriteDword(kValueColor, state.currentColor);
  key.WriteDword(kValueAlpha, IsDlgButtonChecked(dialog, IDC_ALPHA_REMOVE) == BST_CHECKED ? kAlphaRemove
                                                                                          : kAlphaComposite);
  key.WriteDword(kValueExifOrientation, IsDlgButtonChecked(dialog, IDC_USE_EXIF_ORIENTATION) == BST_CHECKED ? 1 : 0);
  EndDialog(dialog, IDOK);
  return TRUE;
}

// The colour button and the history follow the command id, not the check state.
void ApplyEnablingRule(HWND dialog, int commandId) noexcept {
  const BOOL enabled = commandId == IDC_ALPHA_COMPOSITE;
  EnableWindow(GetDlgItem(dialog, IDC_CHOOSE_COLOR), enabled);
  for (int id : kHistoryButtonIds) EnableWindow(GetDlgItem(dialog, id), enabled);
}

INT_PTR OnChooseColor(HWND dialog, const SettingsDialogState& state) {
  // The chooser runs its own message loop: if the owner goes while it is open, WM_DESTROY
  // deletes the state, so nothing of it may be read after ChooseColorW returns.
  const std::wstring keyPath = state.keyPath;
  CustomColors custom;
  custom.fill(kDefaultColor);
  if (!keyPath.empty()) {
    const SettingsKey key = SettingsKey::OpenForRead(keyPath.c_str());
    if (key.IsOpen()) custom = LoadCustomColors(key);
  }
  CHOOSECOLORW chooser{};
  chooser.lStructSize = sizeof(chooser);
  chooser.hwndOwner = dialog;
  chooser.rgbResult = state.currentColor;
  chooser.lpCustColors = custom.data();
  chooser.Flags = CC_RGBINIT;
  // The chooser's library, and the shell libraries it brings, are loaded only while it is
  // open: imported, they would be loaded and unloaded with the plug-in, which under Wine
  // leaves a handle and 70 KB behind each time a host reloads it.
  const LoadedModule dialogs(LoadSystemLibrary(L"comdlg32.dll"));
  using ChooseColorFn = BOOL(WINAPI*)(CHOOSECOLORW*);
  const auto choose = dialogs ? reinterpret_cast<ChooseColorFn>(
                                    reinterpret_cast<void*>(GetProcAddress(dialogs.Get(), "ChooseColorW")))
                              : nullptr;
  if (choose && choose(&chooser) && IsWindow(dialog)) SendMessageW(dialog, WMU_SELECT_COLOR, chooser.rgbResult, 0);
  // Saved whether the chooser was confirmed or cancelled, and whatever the dialog's end.
  if (!keyPath.empty()) {
    const SettingsKey key = SettingsKey::CreateForWrite(keyPath.c_str());
    BYTE bytes[64];
    ColorsToBytes(custom, bytes);
    key.WriteBlob(kValueCustomColors, bytes, sizeof(bytes));
  }
  return TRUE;
}

INT_PTR OnCommand(HWND dialog, SettingsDialogState& state, WPARAM wParam) {
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  const int id = LOWORD(wParam);
  switch (id) {
    case IDOK:
      return OnOk(dialog, state);
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_ALPHA_REMOVE:
    case IDC_ALPHA_COMPOSITE:
      ApplyEnablingRule(dialog, id);
      return FALSE;
    case IDC_CHOOSE_COLOR:
      return OnChooseColor(dialog, state);
    default:
      if (id >= IDC_HISTORY1 && id <= IDC_HISTORY8) {
        SendMessageW(dialog, WMU_SELECT_COLOR, state.history[id - IDC_HISTORY1], 0);
        return TRUE;
      }
      return FALSE;
  }
}

INT_PTR OnSelectColor(HWND dialog, SettingsDialogState& state, COLORREF color) noexcept {
  if (!SelectColor(state, color)) return TRUE;
  InvalidateRect(GetDlgItem(dialog, IDC_COLOR_SWATCH), nullptr, FALSE);
  for (int id : kHistoryButtonIds) InvalidateRect(GetDlgItem(dialog, id), nullptr, FALSE);
  return TRUE;
}

// A filled rectangle framed in the button-shadow colour, and a dotted outline for focus.
INT_PTR OnDrawItem(const SettingsDialogState& state, const DRAWITEMSTRUCT* item) noexcept {
  if (item == nullptr) return FALSE;
  bool paint = true;
  COLORREF color = 0;
  if (item->CtlID == IDC_COLOR_SWATCH) {
    color = state.currentColor;
  } else {
    const auto* slot = std::find(std::begin(kHistoryButtonIds), std::end(kHistoryButtonIds),
                                 static_cast<int>(item->CtlID));
    paint = slot != std::end(kHistoryButtonIds);
    if (paint) color = state.history[static_cast<std::size_t>(slot - std::begin(kHistoryButtonIds))];
  }
  HDC dc = item->hDC;
  const RECT& r = item->rcItem;
  HBRUSH brush = paint ? CreateSolidBrush(color) : nullptr;
  if (brush != nullptr) {
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (pen != nullptr) DeleteObject(pen);
  }
  if (item->itemState & ODS_FOCUS) {
    HPEN dotted = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ oldPen = SelectObject(dc, dotted);
    MoveToEx(dc, r.left + 3, r.top + 3, nullptr);
    LineTo(dc, r.right - 4, r.top + 3);
    LineTo(dc, r.right - 4, r.bottom - 4);
    LineTo(dc, r.left + 3, r.bottom - 4);
    LineTo(dc, r.left + 3, r.top + 3);
    SelectObject(dc, oldPen);
    if (dotted != nullptr) DeleteObject(dotted);
  }
  if (brush != nullptr) DeleteObject(brush);
  return TRUE;
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog(dialog, reinterpret_cast<const wchar_t*>(lParam));
  SettingsDialogState* state = StateOf(dialog);
  if (state == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return OnCommand(dialog, *state, wParam);
    case WMU_SELECT_COLOR:
      return OnSelectColor(dialog, *state, static_cast<COLORREF>(wParam));
    case WM_DRAWITEM:
      return OnDrawItem(*state, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_DESTROY:
      StoreState(dialog, nullptr);
      delete state;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool SelectColor(SettingsDialogState& state, COLORREF c) noexcept {
  if (c == state.currentColor) return false;
  ColorHistory& h = state.history;
  const auto found = std::find(h.begin(), h.end(), c);
  // Slots before c (or all but the last, when c is new) move one place later.
  const auto end = found != h.end() ? found : h.end() - 1;
  std::move_backward(h.begin(), end, end + 1);
  h[0] = state.currentColor;
  state.currentColor = c;
  return true;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing may unwind into the dialog manager (on x86 that ends the host process).
  try {
    return HandleMessage(dialog, message, wParam, lParam);
  } catch (...) {
    if (message == WM_INITDIALOG) return EndWithFailure(dialog);
    return FALSE;
  }
}

}  // namespace quorvel
