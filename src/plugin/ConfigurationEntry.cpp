// About box (a plain message box with the version text) and the settings dialog.
#include "plugin/ConfigurationEntry.h"

#include "plugin/ModuleHandle.h"
#include "plugin/PluginInfo.h"
#include "resource.h"
#include "settings/SettingsDialog.h"

namespace quorvel {

ResultCode RunConfiguration(HWND parent, int function) noexcept {
  switch (function) {
    case 0:
      return MessageBoxW(parent, PluginInfoText(1), kPluginFileName, MB_OK) == 0 ? kResultInternalError
                                                                                : kResultSuccess;
    case 1:
      // OK and Cancel are both a successful run of the dialog; -1 is a dialog that could
      // not be created or could not save.
      return DialogBoxParamW(ModuleHandle(), MAKEINTRESOURCEW(IDD_SETTINGS), parent, SettingsDialogProc,
                             reinterpret_cast<LPARAM>(kPluginFileName)) == -1
                 ? kResultInternalError
                 : kResultSuccess;
    default:
      return kResultNotImplemented;
  }
}

}  // namespace quorvel
